#include "hid_platform_win32_rules.h"

#include <windows.h>
// ERROR_NO_SUCH_DEVINST
#include <setupapi.h>

#include <algorithm>
#include <map>

namespace hid::win32 {

OpenError ClassifyOpenError(unsigned long error)
{
    switch (error) {
    case ERROR_ACCESS_DENIED: return OpenError::PermissionDenied;
    // Another handle's share mode excludes ours: a program that opened the
    // board for itself.
    case ERROR_SHARING_VIOLATION: return OpenError::HeldByOther;
    case ERROR_FILE_NOT_FOUND:
    case ERROR_PATH_NOT_FOUND:
    case ERROR_INVALID_NAME:
    case ERROR_BAD_PATHNAME:
    case ERROR_DEVICE_NOT_CONNECTED:
    case ERROR_DEV_NOT_EXIST:
    case ERROR_NO_SUCH_DEVINST: return OpenError::NotFound;
    default: return OpenError::Other;
    }
}

unsigned long AskInputBuffers(const std::function<bool(unsigned long)>& set)
{
    for (unsigned long count = kInputBuffers; count >= 64; count /= 2)
        if (set(count)) return count;
    return 0;
}

bool NamesCollection(const std::u16string& text)
{
    auto lower = [](char16_t c) { return c >= u'A' && c <= u'Z' ? char16_t(c - u'A' + u'a') : c; };
    auto hex = [](char16_t c) {
        return (c >= u'0' && c <= u'9') || (c >= u'a' && c <= u'f') || (c >= u'A' && c <= u'F');
    };
    static constexpr char16_t kTag[] = u"&col";
    for (std::size_t i = 0; i + 6 <= text.size(); ++i) {
        std::size_t k = 0;
        while (k < 4 && lower(text[i + k]) == kTag[k]) ++k;
        if (k == 4 && hex(text[i + 4]) && hex(text[i + 5])) return true;
    }
    return false;
}

bool CarriesText(const ReportLengths& lengths)
{
    return lengths.input >= 2 && lengths.output >= 2;
}

void OrderCollections(
    std::vector<DeviceInfo>& list,
    const std::function<std::optional<ReportLengths>(const DeviceInfo&)>& lengthsOf)
{
    std::stable_partition(list.begin(), list.end(), [&](const DeviceInfo& d) {
        if (!NamesCollection(d.hardwareId) && !NamesCollection(d.path)) return true;
        const std::optional<ReportLengths> lengths = lengthsOf(d);
        return !lengths || CarriesText(*lengths);
    });
}

unsigned long ButtonFieldBits(unsigned count, unsigned usages, bool variable)
{
    const unsigned long elements = count > 0 ? count : usages;
    return elements * (variable ? 1u : 8u);
}

std::uint8_t OutputReportId(const std::vector<ReportField>& fields)
{
    std::map<unsigned, unsigned long> bitsById;
    for (const ReportField& f : fields)
        if (f.reportId != 0 && f.reportId <= 0xFF) bitsById[f.reportId] += f.bits;
    unsigned id = 0;
    unsigned long longest = 0;
    for (const auto& [reportId, bits] : bitsById) {
        if (id == 0 || bits > longest) {
            id = reportId;
            longest = bits;
        }
    }
    return static_cast<std::uint8_t>(id);
}

}  // namespace hid::win32
