#include "box_zoom.h"

#include <algorithm>
#include <iterator>

namespace wsys {

namespace {

constexpr int kSteps[] = {6, 7, 8, 9, 10, 11, 12, 14, 16, 18, 20, 22, 24, 28, 32, 36};

}  // namespace

int CBoxZoom::Next(int points, bool up)
{
    if (up) {
        const int* next = std::upper_bound(std::begin(kSteps), std::end(kSteps), points);
        return next == std::end(kSteps) ? kMaxPoints : *next;
    }
    const int* at = std::lower_bound(std::begin(kSteps), std::end(kSteps), points);
    return at == std::begin(kSteps) ? kMinPoints : *(at - 1);
}

bool CBoxZoom::Take(Step step)
{
    const int before = m_nPoints;
    switch (step) {
    case Step::In: m_nPoints = Next(m_nPoints, true); break;
    case Step::Out: m_nPoints = Next(m_nPoints, false); break;
    case Step::Reset: m_nPoints = m_nDialog; break;
    }
    m_nWheel = 0;
    return m_nPoints != before;
}

bool CBoxZoom::Wheel(int delta)
{
    // A turn the other way drops what was left of the last.
    if ((m_nWheel > 0 && delta < 0) || (m_nWheel < 0 && delta > 0))
        m_nWheel = 0;
    m_nWheel += delta;
    const int before = m_nPoints;
    for (; m_nWheel >= 120; m_nWheel -= 120)
        m_nPoints = Next(m_nPoints, true);
    for (; m_nWheel <= -120; m_nWheel += 120)
        m_nPoints = Next(m_nPoints, false);
    return m_nPoints != before;
}

}  // namespace wsys
