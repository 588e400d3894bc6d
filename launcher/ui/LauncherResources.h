#pragma once
#include <QImage>

// Registers the launcher's compiled-in pictures; safe to call more than once.
void EnsureLauncherResources();
// A numbered picture at its own size; null when it is missing.
QImage LoadLauncherPicture(int nId);
