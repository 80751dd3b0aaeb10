#pragma once

// The one way tests swap a layer's seams (ToolkitSeams, AppSeams, ConfigSeams): the live
// struct is saved when the scope begins, the test changes what it answers itself through
// the helper, and the saved struct is back when the scope ends, whatever the test did.
template <typename Seams> class ScopedSeams {
public:
    explicit ScopedSeams(Seams& live) : Live(live), Saved(live) {}
    ~ScopedSeams() { Live = Saved; }
    ScopedSeams(const ScopedSeams&) = delete;
    ScopedSeams& operator=(const ScopedSeams&) = delete;

    Seams* operator->() { return &Live; }

private:
    Seams& Live;
    Seams Saved;
};
