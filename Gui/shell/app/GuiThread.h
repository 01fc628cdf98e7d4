#pragma once

#include <functional>

class QObject;

// Core events arrive on the collection, dispatch and POP3 session threads, but widgets may only
// be touched on the user-interface thread. Queues the work to the thread that owns `context`;
// when `context` is destroyed before the work runs, the work is dropped.
void PostToGuiThread(QObject* context, std::function<void()> work);
