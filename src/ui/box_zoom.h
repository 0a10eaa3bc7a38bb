// The history box's zoom, for every window system: its font size in steps
// of points between kMinPoints and kMaxPoints, from the dialog's size, held
// until the window closes. Which keys and wheel turns ask for a step is
// each window system's (the box's own key handling).
#pragma once

namespace wsys {

class CBoxZoom {
public:
    static constexpr int kMinPoints = 6;
    static constexpr int kMaxPoints = 36;

    enum class Step { In, Out, Reset };

    // The dialog's size, which Reset returns to.
    explicit CBoxZoom(int dialogPoints = 9) : m_nDialog(dialogPoints), m_nPoints(dialogPoints) {}

    int Points() const { return m_nPoints; }
    int DialogPoints() const { return m_nDialog; }
    bool Zoomed() const { return m_nPoints != m_nDialog; }

    // Takes `step`; true when the size changed.
    bool Take(Step step);

    // Wheel turns in eighths of a degree (120 a notch, as both systems
    // report them): a step for each whole notch, the rest kept for the
    // next turn. True when the size changed.
    bool Wheel(int delta);

    // The next size in the steps after `points`, up or down, within the
    // bounds (6, 7, ... 12, 14, ... 24, 28, 32, 36).
    static int Next(int points, bool up);

private:
    int m_nDialog;
    int m_nPoints;
    int m_nWheel = 0;
};

}  // namespace wsys
