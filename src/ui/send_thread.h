#pragma once
// The network part of a send on a thread of its own, so that the window
// keeps painting and takes "Abbrechen" while a server is slow or a retry
// waits. The run's thread never touches a widget or the window model: each
// call of its observer is carried to the user-interface thread and waited
// for there, one after the other in the run's order, so the model and the
// widgets change on that thread only, as after any handler. Meanwhile the
// user-interface thread touches neither the outgoing message nor the SMTP
// client, which the run owns until it ends.
#include <functional>

#include "merge/send_run.h"

class QObject;

namespace sendrix::ui {

// Runs `work` on a new thread with an observer that passes every call on to
// `observer` on the thread of `context` (the user-interface thread, which
// calls this) and hands back the answers; stopRequested is asked on the
// run's thread directly and must be safe there. Meanwhile the calling
// thread runs an event loop. Returns when `work` has ended and raises what
// it raised.
void runOffThread(QObject* context, merge::SendObserver& observer,
                  const std::function<void(merge::SendObserver&)>& work);

}  // namespace sendrix::ui
