#include "foundation/Progress.h"

#include "platform/KeepRunning.h"

#include <algorithm>
#include <cmath>
#include <iostream>

CSimpleProgress::CSimpleProgress() = default;

bool CSimpleProgress::isCancelled()
{
    return m_cancelled;
}

void CSimpleProgress::begin(int from, int to)
{
    m_to = to;
    m_from = from;
    m_done = from;
    m_printThreshold = 1;
    m_percent = 0;
    m_remainingSeconds = 0.0;
    m_timer.restart();
}

void CSimpleProgress::step(int n)
{
    m_remainingSeconds = 0.0;
    m_done += n;
    const double ms = m_timer.elapsedMilliseconds();

    // Measured from the start of the range, in 64 bits so that large ranges
    // cannot overflow the product.
    const long long range = std::max(static_cast<long long>(m_to) - m_from, 1LL);
    const long long doneHundreds = (static_cast<long long>(m_done) - m_from) * 100;
    const double percent =
        std::floor(static_cast<double>(doneHundreds) / static_cast<double>(range));
    m_percent = static_cast<int>(std::clamp(percent, -1e9, 1e9));

    const double remaining = std::ceil((100.0 - m_percent) / std::max(m_percent, 1) * ms * 0.001);
    m_remainingSeconds = std::max(remaining, 0.0);

    if (m_percent > m_printThreshold) {
        if (m_print) {
            if (!m_label.empty())
                std::cout << m_label << " ";
            std::cout << m_percent << "% done, finish in "
                      << static_cast<long long>(m_remainingSeconds) << " seconds.   " << std::endl;
        }
        m_printThreshold = m_percent + 1;
    }
}

void CSimpleProgress::reset(int)
{
    m_done = m_from;
}

bool CSimpleProgress::setLabel(const char* label)
{
    m_label = label ? label : "";
    return true;
}

const char* CSimpleProgress::getLabel() const
{
    return m_label.empty() ? nullptr : m_label.c_str();
}

void CSimpleProgress::setCancelled(bool cancelled)
{
    m_cancelled = cancelled;
}

bool CVezadProgress::isCancelled()
{
    return m_cancelled || !Platform::keepRunning();
}

void CVezadProgress::step(int n)
{
    m_done += n;
}
