#include "hid_platform_win32_library.h"

extern "C" {
#include <hidsdi.h>
}

#include <string>

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
    m_pfnFreePreparsedData(data);
    if (!ok) return false;
    lengths.input = caps.InputReportByteLength;
    lengths.output = caps.OutputReportByteLength;
    return true;
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
