// Test helper: sets or unsets one environment variable for a scope and reloads
// the diagnostic switches on both ends, so tests can run with and without
// FENWO_TIMER, FENWO_PROFILER and FENWO_LOGGING. Not thread-safe.
#pragma once

#include "foundation/Logging.h"

#include <cstdlib>
#include <optional>
#include <string>

class ScopedEnv {
public:
    ScopedEnv(const char* name, const char* value) : m_name(name)
    {
        if (const char* old = std::getenv(name))
            m_old = old;
        if (value)
            ::setenv(name, value, 1);
        else
            ::unsetenv(name);
        reloadDiagnosticSwitches();
    }
    ~ScopedEnv()
    {
        if (m_old)
            ::setenv(m_name, m_old->c_str(), 1);
        else
            ::unsetenv(m_name);
        reloadDiagnosticSwitches();
    }
    ScopedEnv(const ScopedEnv&) = delete;
    ScopedEnv& operator=(const ScopedEnv&) = delete;

private:
    const char* m_name;
    std::optional<std::string> m_old;
};
