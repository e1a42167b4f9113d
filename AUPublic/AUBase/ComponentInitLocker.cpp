#include "ComponentInitLocker.h"

#include "ComponentBase.h"

pthread_mutex_t ComponentInitLocker::sComponentOpenMutex;
pthread_once_t ComponentInitLocker::sOnce = PTHREAD_ONCE_INIT;

void ComponentInitLocker::InitComponentInitLocker()
{
    pthread_mutexattr_t attributes;
    pthread_mutexattr_init(&attributes);
    pthread_mutexattr_settype(&attributes, PTHREAD_MUTEX_RECURSIVE);
    pthread_mutex_init(&sComponentOpenMutex, &attributes);
    pthread_mutexattr_destroy(&attributes);
}

ComponentInitLocker::ComponentInitLocker()
{
    pthread_once(&sOnce, InitComponentInitLocker);
    pthread_mutex_lock(&sComponentOpenMutex);
    mPreviousNewInstanceType = ComponentBase::sNewInstanceType;
}

ComponentInitLocker::~ComponentInitLocker()
{
    ComponentBase::sNewInstanceType = mPreviousNewInstanceType;
    pthread_mutex_unlock(&sComponentOpenMutex);
}
