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
    section->recursionCount = 0;
}

void EnterCriticalSection(CRITICAL_SECTION* section) {
    pthread_mutex_lock(&section->mutex);
    ++section->recursionCount;
}

void LeaveCriticalSection(CRITICAL_SECTION* section) {
    --section->recursionCount;
    pthread_mutex_unlock(&section->mutex);
}

void DeleteCriticalSection(CRITICAL_SECTION* section) {
    // Windows lets the holder delete a section it still holds, but destroying
    // a locked mutex is undefined: leave every level the holder entered first.
    while (section->recursionCount > 0) LeaveCriticalSection(section);
    pthread_mutex_destroy(&section->mutex);
}
