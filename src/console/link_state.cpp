#include "link_state.h"

#include "console_texts.h"

namespace link_state {

bool IsOpen(LinkState state)
{
    return state == LinkState::Connected || state == LinkState::ConnectedIdle;
}

bool IsProblem(LinkState state)
{
    return state == LinkState::NotPermitted || state == LinkState::HeldByOther ||
           state == LinkState::CannotWatch;
}

std::optional<LinkState> ProblemFor(hid::OpenError error)
{
    switch (error) {
    case hid::OpenError::PermissionDenied:
        return LinkState::NotPermitted;
    case hid::OpenError::HeldByOther:
        return LinkState::HeldByOther;
    case hid::OpenError::None:
    case hid::OpenError::NotFound:
    case hid::OpenError::Other:
        break;
    }
    return std::nullopt;
}

unsigned char ConnectedFlag(LinkState state)
{
    return IsOpen(state) || state == LinkState::Starting ? 1 : 0;
}

std::u16string Status(LinkState state, int nVid, int nPid)
{
    switch (state) {
    case LinkState::Starting:
        break;
    case LinkState::Connected:
    case LinkState::ConnectedIdle:
        return texts::Connected(nVid, nPid);
    case LinkState::Disconnected:
        return std::u16string(texts::kNoConnection);
    case LinkState::NotPermitted:
        return PermissionDeniedStatus();
    case LinkState::Unreadable:
        return std::u16string(texts::kUnreadable);
    case LinkState::HeldByOther:
        return std::u16string(texts::kHeldByOther);
    case LinkState::CannotWatch:
        return std::u16string(texts::kCannotWatch);
    }
    return {};
}

std::u16string Tip(LinkState state, const hid::AccessFacts& facts)
{
    switch (state) {
    case LinkState::NotPermitted:
        return PermissionDeniedTip(facts);
    case LinkState::Unreadable:
        return texts::UnreadableTip();
    case LinkState::HeldByOther:
        return std::u16string(texts::kHeldByOtherTip);
    default:
        return {};
    }
}

std::string Log(LinkState state, const std::u16string& path, const hid::AccessFacts& facts)
{
    switch (state) {
    case LinkState::NotPermitted:
        return texts::NotPermittedLog(path, facts);
    case LinkState::HeldByOther:
        return texts::HeldByOtherLog(path);
    default:
        return {};
    }
}

}  // namespace link_state
