#include "core/ThreadPriority.h"

#include <QThread>

#if defined(Q_OS_LINUX)
#include <pthread.h>
#include <sched.h>
#endif

namespace quillora {

bool SetThisThreadBackground(bool background) {
#if defined(Q_OS_LINUX) && defined(SCHED_IDLE)
  // QThread::setPriority() keeps a thread's current policy when it leaves IdlePriority (the
  // normal levels have no range under SCHED_IDLE), so the way back is taken here as well.
  sched_param param{};
  param.sched_priority = 0;
  return pthread_setschedparam(pthread_self(), background ? SCHED_IDLE : SCHED_OTHER, &param) == 0;
#else
  // Windows and macOS map the levels onto their own classes; the lowest is the nearest.
  QThread::currentThread()->setPriority(background ? QThread::LowestPriority
                                                   : QThread::NormalPriority);
  return true;
#endif
}

}  // namespace quillora
