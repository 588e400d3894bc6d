#pragma once
#include <functional>
#include <thread>

// Starts a thread of ours: it gets an alternate signal stack before `body` runs, so a stack
// overflow there still leaves a crash dump. Throws std::system_error as std::thread does.
std::thread StartThread(std::function<void()> body);
