#pragma once

// An eventfd that a thread waiting in poll watches beside its other descriptors, so that another
// thread can wake it at once: Raise from any thread, Clear on the waiting thread once woken.
class WakeSignal {
public:
    // Throws Exception "Unable to create a wake-up signal" when the system refuses.
    WakeSignal();
    ~WakeSignal();
    WakeSignal(const WakeSignal&) = delete;
    WakeSignal& operator=(const WakeSignal&) = delete;

    // Makes the descriptor poll readable until Clear; any thread.
    void Raise();
    void Clear();
    int Descriptor() const { return descriptor; }

private:
    int descriptor;
};
