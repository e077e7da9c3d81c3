// Critical sections for Linux: a recursive mutex, since a Windows critical
// section may be entered again by the thread that holds it.
#include <pthread.h>

#include "platform/linux_win32.h"

void InitializeCriticalSection(CRITICAL_SECTION* section) {
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&section->mutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

void EnterCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_lock(&section->mutex); }

void LeaveCriticalSection(CRITICAL_SECTION* section) { pthread_mutex_unlock(&section->mutex); }

void DeleteCriticalSection(CRITICAL_SECTION* section) {
    // Windows lets the owner delete a section it still holds, but destroying a
    // locked mutex is undefined: leave every level this thread holds first.
    // Unlocking a recursive mutex that this thread does not hold fails, which
    // ends the loop.
    while (pthread_mutex_unlock(&section->mutex) == 0) {
    }
    pthread_mutex_destroy(&section->mutex);
}
