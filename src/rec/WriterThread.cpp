#include "rec/WriterThread.h"

#include "rec/StopSignals.h"

#include <pthread.h>
#include <sched.h>

void becomeWriterThread()
{
    StopSignals::leaveToOtherThreads();
#ifdef SCHED_BATCH
    const sched_param batch{};
    pthread_setschedparam(pthread_self(), SCHED_BATCH, &batch);
#endif
}
