// Runs a callable when it goes out of scope, unless dismissed first.
#pragma once

#include <utility>

template <class F>
class CScopeExit
{
public:
    explicit CScopeExit(F f) noexcept : m_f(std::move(f)) {}
    CScopeExit(CScopeExit&& that) noexcept : m_f(std::move(that.m_f)), m_fArmed(that.m_fArmed) { that.m_fArmed = false; }
    CScopeExit(const CScopeExit&) = delete;
    CScopeExit& operator=(const CScopeExit&) = delete;
    CScopeExit& operator=(CScopeExit&&) = delete;

    ~CScopeExit()
    {
        if (m_fArmed)
            m_f();
    }

    void Dismiss() noexcept { m_fArmed = false; }

private:
    F m_f;
    bool m_fArmed = true;
};

template <class F>
CScopeExit<F> MakeScopeExit(F f)
{
    return CScopeExit<F>(std::move(f));
}
