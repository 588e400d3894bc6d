#pragma once

// Registers the compiled-in pictures; they live in a static library, so someone must ask.
void EnsureClientResources();
