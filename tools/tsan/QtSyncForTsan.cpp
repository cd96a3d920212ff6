// Linked into every executable of the ThreadSanitizer build (QUENVAR_TSAN)
// only. Debian's Qt is not built with ThreadSanitizer: its mutexes wait on
// futexes and its event queues hand data between threads under those
// mutexes, none of which ThreadSanitizer can see. Without help every
// QMutex-guarded field of ours and every queued call's arguments would be
// reported as a race. This file tells ThreadSanitizer about the ordering
// that Qt's synchronisation really provides; the races it can then find are
// ours.
//
// Each function below is defined again here, so that the calls of our code
// (and of the other libraries) land here first; the definition annotates
// the ordering and calls the real one (dlsym RTLD_NEXT). Qt's calls to its
// own functions stay inside libQt5Core (it is linked with
// -Bsymbolic-functions), so the hand-offs made there are caught where they
// enter or leave Qt: at our emissions and queued calls, at the wake-up of
// the receiving thread's event loop (glib), and at the wake-up of the
// threads waiting for a QThread to end. What Qt's libraries do among
// themselves is left out by tests/tsan.supp.
#include <QMetaObject>
#include <QMutex>
#include <QSemaphore>
#include <QThread>
#include <QThreadPool>
#include <QWaitCondition>
#include <QtGlobal>

#include <cstring>
#include <dlfcn.h>
#include <functional>
#include <pthread.h>
#include <sanitizer/tsan_interface.h>

namespace {

template <class Function>
Function realFunction(const char* name)
{
    static_assert(sizeof(Function) == sizeof(void*), "a plain function pointer");
    void* symbol = ::dlsym(RTLD_NEXT, name);
    if (!symbol)
        qFatal("QtSyncForTsan: %s not found", name);
    Function function;
    std::memcpy(&function, &symbol, sizeof function);
    return function;
}

// Posted events (queued signals, queued calls, deleteLater) travel through
// Qt's event queues. One token stands for all of them: every emission and
// queued call of ours releases it before Qt queues the event, every wake-up
// of an event loop after queuing releases it again, and every event
// delivery acquires it. That orders more than Qt does (any post before any
// later delivery), which can hide a race but never invents one.
char g_eventToken;

bool acquireOnDelivery(void**)
{
    __tsan_acquire(&g_eventToken);
    return false; // deliver as usual
}

[[maybe_unused]] const bool g_hooked = QInternal::registerCallback(QInternal::EventNotifyCallback, &acquireOnDelivery);

// A call queued with QMetaObject::invokeMethod: the functor runs on the
// receiver's thread after everything its poster did, and whichever thread
// drops the last reference destroys it after the call has returned.
class OrderedSlot : public QtPrivate::QSlotObjectBase
{
public:
    explicit OrderedSlot(QtPrivate::QSlotObjectBase* inner)
        : QSlotObjectBase(&impl)
        , m_inner(inner)
    {
        __tsan_release(this);
    }

private:
    static void impl(int which, QSlotObjectBase* self, QObject* receiver, void** arguments, bool* result)
    {
        auto* slot = static_cast<OrderedSlot*>(self);
        __tsan_acquire(slot);
        switch (which) {
        case Destroy:
            slot->m_inner->destroyIfLastRef();
            delete slot;
            return;
        case Call:
            slot->m_inner->call(receiver, arguments);
            break;
        default:
            if (result)
                *result = false;
            break;
        }
        __tsan_release(slot);
    }

    QtPrivate::QSlotObjectBase* m_inner;
};

// A QThread that ends wakes its waiters with a broadcast after its last
// step; a successful QThread::wait orders after it. Other broadcasts release
// the token as well (more order than Qt gives, never less).
char g_threadEndToken;

// Functions handed to a thread pool run after everything their starter did.
char g_poolToken;

} // namespace

extern "C" {

// QEventDispatcherGlib::wakeUp, called by every post after queuing.
__attribute__((visibility("default"))) void g_main_context_wakeup(void* context)
{
    static const auto real = realFunction<void (*)(void*)>("g_main_context_wakeup");
    __tsan_release(&g_eventToken);
    real(context);
}

__attribute__((visibility("default"))) int pthread_cond_broadcast(pthread_cond_t* condition) noexcept
{
    static const auto real = realFunction<int (*)(pthread_cond_t*)>("pthread_cond_broadcast");
    // After the call: its own access to the condition is ordered too, and a
    // waiter woken by it still needs the mutex the broadcaster holds.
    const int result = real(condition);
    __tsan_release(&g_threadEndToken);
    return result;
}

} // extern "C"

void QMutex::lock() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = realFunction<void (*)(QMutex*)>("_ZN6QMutex4lockEv");
    real(this);
    __tsan_acquire(this);
}

bool QMutex::tryLock(int timeout) QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = realFunction<bool (*)(QMutex*, int)>("_ZN6QMutex7tryLockEi");
    const bool locked = real(this, timeout);
    if (locked)
        __tsan_acquire(this);
    return locked;
}

void QMutex::unlock() noexcept
{
    static const auto real = realFunction<void (*)(QMutex*)>("_ZN6QMutex6unlockEv");
    __tsan_release(this);
    real(this);
}

// The slow paths of QBasicMutex's inline lock and unlock; the fast paths
// are atomics compiled into our code, which ThreadSanitizer sees.
void QBasicMutex::lockInternal() QT_MUTEX_LOCK_NOEXCEPT
{
    static const auto real = realFunction<void (*)(QBasicMutex*)>("_ZN11QBasicMutex12lockInternalEv");
    real(this);
    __tsan_acquire(this);
}

void QBasicMutex::unlockInternal() noexcept
{
    static const auto real = realFunction<void (*)(QBasicMutex*)>("_ZN11QBasicMutex14unlockInternalEv");
    __tsan_release(this);
    real(this);
}

// Waiting gives the mutex up and takes it again.
bool QWaitCondition::wait(QMutex* lockedMutex, QDeadlineTimer deadline)
{
    static const auto real =
        realFunction<bool (*)(QWaitCondition*, QMutex*, QDeadlineTimer)>("_ZN14QWaitCondition4waitEP6QMutex14QDeadlineTimer");
    __tsan_release(lockedMutex);
    const bool woken = real(this, lockedMutex, deadline);
    __tsan_acquire(lockedMutex);
    return woken;
}

bool QWaitCondition::wait(QMutex* lockedMutex, unsigned long time)
{
    static const auto real =
        realFunction<bool (*)(QWaitCondition*, QMutex*, unsigned long)>("_ZN14QWaitCondition4waitEP6QMutexm");
    __tsan_release(lockedMutex);
    const bool woken = real(this, lockedMutex, time);
    __tsan_acquire(lockedMutex);
    return woken;
}

void QSemaphore::acquire(int n)
{
    static const auto real = realFunction<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7acquireEi");
    real(this, n);
    __tsan_acquire(this);
}

bool QSemaphore::tryAcquire(int n)
{
    static const auto real = realFunction<bool (*)(QSemaphore*, int)>("_ZN10QSemaphore10tryAcquireEi");
    const bool acquired = real(this, n);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

bool QSemaphore::tryAcquire(int n, int timeout)
{
    static const auto real = realFunction<bool (*)(QSemaphore*, int, int)>("_ZN10QSemaphore10tryAcquireEii");
    const bool acquired = real(this, n, timeout);
    if (acquired)
        __tsan_acquire(this);
    return acquired;
}

void QSemaphore::release(int n)
{
    static const auto real = realFunction<void (*)(QSemaphore*, int)>("_ZN10QSemaphore7releaseEi");
    __tsan_release(this);
    real(this, n);
}

bool QMetaObject::invokeMethodImpl(QObject* object, QtPrivate::QSlotObjectBase* slot, Qt::ConnectionType type,
                                   void* ret)
{
    static const auto real = realFunction<bool (*)(QObject*, QtPrivate::QSlotObjectBase*, Qt::ConnectionType, void*)>(
        "_ZN11QMetaObject16invokeMethodImplEP7QObjectPN9QtPrivate15QSlotObjectBaseEN2Qt14ConnectionTypeEPv");
    __tsan_release(&g_eventToken);
    return real(object, new OrderedSlot(slot), type, ret);
}

void QMetaObject::activate(QObject* sender, const QMetaObject* meta, int localSignalIndex, void** argv)
{
    static const auto real =
        realFunction<void (*)(QObject*, const QMetaObject*, int, void**)>("_ZN11QMetaObject8activateEP7QObjectPKS_iPPv");
    __tsan_release(&g_eventToken);
    real(sender, meta, localSignalIndex, argv);
}

bool QThread::wait(QDeadlineTimer deadline)
{
    static const auto real = realFunction<bool (*)(QThread*, QDeadlineTimer)>("_ZN7QThread4waitE14QDeadlineTimer");
    const bool ended = real(this, deadline);
    if (ended)
        __tsan_acquire(&g_threadEndToken);
    return ended;
}

bool QThread::wait(unsigned long time)
{
    static const auto real = realFunction<bool (*)(QThread*, unsigned long)>("_ZN7QThread4waitEm");
    const bool ended = real(this, time);
    if (ended)
        __tsan_acquire(&g_threadEndToken);
    return ended;
}

void QThreadPool::start(std::function<void()> functionToRun, int priority)
{
    // A std::function parameter is passed by address (Itanium C++ ABI).
    static const auto real =
        realFunction<void (*)(QThreadPool*, std::function<void()>*, int)>("_ZN11QThreadPool5startESt8functionIFvvEEi");
    std::function<void()> ordered = [function = std::move(functionToRun)] {
        __tsan_acquire(&g_poolToken);
        function();
    };
    __tsan_release(&g_poolToken);
    real(this, &ordered, priority);
}
