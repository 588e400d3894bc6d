#pragma once
#include <functional>

// Waits until `predicate` holds or `timeoutMs` pass; true when it held. On the application's
// thread the events go on being processed between polls (replies, timers, deferred deletes),
// elsewhere it only sleeps. The predicate is tried once more after the time is up. The default
// is generous: the browser and the programs are slow on a small, shared machine.
bool WaitUntil(const std::function<bool()>& predicate, int timeoutMs = 30000, int pollMs = 20);
