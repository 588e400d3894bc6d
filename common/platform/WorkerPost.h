#pragma once
class QEvent;
class QObject;

// Posting an event a worker thread made to an object of the window thread.
//
// Qt hands the event over under its own locks, which a thread checker cannot see into (Qt is
// not built with it), so every read of the event in the receiver would look unordered with the
// worker's writes. One counter gives the hand-over an edge both sides can see: the worker
// releases after making the event, the receiver acquires before it touches one. It costs an
// atomic operation per event and orders nothing Qt did not order already.

// Posts `pEvent` (owned by Qt from here on) to `pReceiver`; deletes it when there is none.
void PostFromWorker(QObject* pReceiver, QEvent* pEvent);

// Call in an event handler before reading an event that a worker may have posted.
void AcceptWorkerPosts();
