#include "hid_platform_win32_library.h"

extern "C" {
#include <hidsdi.h>
}

#include <string>
#include <vector>

#include "hid_platform_win32_rules.h"

namespace hid::win32 {

CHidLibrary::CHidLibrary()
{
    // From the system directory only, never from beside the program.
    wchar_t dir[MAX_PATH];
    const UINT n = GetSystemDirectoryW(dir, MAX_PATH);
    if (n == 0 || n >= MAX_PATH - 10) return;
    std::wstring path(dir, n);
    path += L"\\hid.dll";
    m_module = LoadLibraryW(path.c_str());
    if (!m_module) return;
    m_pfnGetHidGuid = Lookup<GetHidGuidFn>("HidD_GetHidGuid");
    m_pfnGetPreparsedData = Lookup<GetPreparsedDataFn>("HidD_GetPreparsedData");
    m_pfnFreePreparsedData = Lookup<FreePreparsedDataFn>("HidD_FreePreparsedData");
    m_pfnGetCaps = Lookup<GetCapsFn>("HidP_GetCaps");
    m_pfnGetValueCaps = Lookup<GetFieldCapsFn>("HidP_GetValueCaps");
    m_pfnGetButtonCaps = Lookup<GetFieldCapsFn>("HidP_GetButtonCaps");
    m_pfnSetNumInputBuffers = Lookup<SetNumInputBuffersFn>("HidD_SetNumInputBuffers");
    m_pfnGetNumInputBuffers = Lookup<GetNumInputBuffersFn>("HidD_GetNumInputBuffers");
}

CHidLibrary::~CHidLibrary()
{
    if (m_module) FreeLibrary(m_module);
}

bool CHidLibrary::GetHidGuid(GUID& guid) const
{
    if (!m_pfnGetHidGuid) return false;
    m_pfnGetHidGuid(&guid);
    return true;
}

bool CHidLibrary::CanGetCaps() const
{
    return m_pfnGetPreparsedData && m_pfnFreePreparsedData && m_pfnGetCaps;
}

bool CHidLibrary::GetCaps(HANDLE file, ReportLengths& lengths) const
{
    if (!CanGetCaps()) return false;
    void* data = nullptr;
    if (!m_pfnGetPreparsedData(file, &data) || !data) return false;
    HIDP_CAPS caps{};
    const bool ok = m_pfnGetCaps(data, &caps) == HIDP_STATUS_SUCCESS;
    std::uint8_t outputId = 0;
    if (ok && caps.OutputReportByteLength > 0)
        outputId = OutputReportIdOf(data, caps.NumberOutputValueCaps, caps.NumberOutputButtonCaps);
    m_pfnFreePreparsedData(data);
    if (!ok) return false;
    lengths.input = caps.InputReportByteLength;
    lengths.output = caps.OutputReportByteLength;
    lengths.outputReportId = outputId;
    return true;
}

std::uint8_t CHidLibrary::OutputReportIdOf(void* preparsed, USHORT valueCaps,
                                           USHORT buttonCaps) const
{
    std::vector<ReportField> fields;
    if (valueCaps > 0 && m_pfnGetValueCaps) {
        std::vector<HIDP_VALUE_CAPS> caps(valueCaps);
        USHORT n = valueCaps;
        if (m_pfnGetValueCaps(HidP_Output, caps.data(), &n, preparsed) == HIDP_STATUS_SUCCESS) {
            for (USHORT i = 0; i < n && i < valueCaps; ++i)
                fields.push_back({caps[i].ReportID,
                                  static_cast<unsigned long>(caps[i].BitSize) * caps[i].ReportCount});
        }
    }
    if (buttonCaps > 0 && m_pfnGetButtonCaps) {
        std::vector<HIDP_BUTTON_CAPS> caps(buttonCaps);
        USHORT n = buttonCaps;
        if (m_pfnGetButtonCaps(HidP_Output, caps.data(), &n, preparsed) == HIDP_STATUS_SUCCESS) {
            for (USHORT i = 0; i < n && i < buttonCaps; ++i) {
                const HIDP_BUTTON_CAPS& c = caps[i];
                // Newer systems put the field's report count first in
                // what this header calls Reserved; older ones leave it 0.
                const auto count = static_cast<unsigned>(c.Reserved[0] & 0xFFFF);
                const unsigned usages =
                    c.IsRange && c.Range.UsageMax >= c.Range.UsageMin
                        ? static_cast<unsigned>(c.Range.UsageMax - c.Range.UsageMin) + 1
                        : 1;
                fields.push_back({c.ReportID, ButtonFieldBits(count, usages, (c.BitField & 0x02) != 0)});
            }
        }
    }
    return OutputReportId(fields);
}

bool CHidLibrary::SetNumInputBuffers(HANDLE file, unsigned long count) const
{
    return m_pfnSetNumInputBuffers && m_pfnSetNumInputBuffers(file, count);
}

bool CHidLibrary::GetNumInputBuffers(HANDLE file, unsigned long& count) const
{
    ULONG n = 0;
    if (!m_pfnGetNumInputBuffers || !m_pfnGetNumInputBuffers(file, &n)) return false;
    count = n;
    return true;
}

}  // namespace hid::win32
