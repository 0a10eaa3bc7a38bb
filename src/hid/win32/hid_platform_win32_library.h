// hid.dll, loaded at run time from the system directory: the HID class
// GUID, a device's report lengths and output report ID, and its handles'
// input buffers. Any entry point may be missing; a call whose entry point
// is missing fails.
//
// Threads: every call may be made from any thread at any time.
#pragma once

#include <windows.h>

#include <cstdint>

#include "hid_platform.h"

namespace hid::win32 {

class CHidLibrary {
public:
    CHidLibrary();
    ~CHidLibrary();
    CHidLibrary(const CHidLibrary&) = delete;
    CHidLibrary& operator=(const CHidLibrary&) = delete;

    bool GetHidGuid(GUID& guid) const;

    // Input and output report lengths from the device's capabilities, and
    // the ID its output reports are written with (OutputReportId). The
    // handle may have been opened with no access at all.
    bool GetCaps(HANDLE file, ReportLengths& lengths) const;
    bool CanGetCaps() const;

    // The ring of input reports the system keeps for one handle.
    bool SetNumInputBuffers(HANDLE file, unsigned long count) const;
    bool GetNumInputBuffers(HANDLE file, unsigned long& count) const;

private:
    using GetHidGuidFn = void(__stdcall*)(GUID*);
    using GetPreparsedDataFn = BOOLEAN(__stdcall*)(HANDLE, void**);
    using FreePreparsedDataFn = BOOLEAN(__stdcall*)(void*);
    using GetCapsFn = LONG(__stdcall*)(void*, void*);
    // HidP_GetValueCaps and HidP_GetButtonCaps: report type, caps, count.
    using GetFieldCapsFn = LONG(__stdcall*)(int, void*, USHORT*, void*);
    using SetNumInputBuffersFn = BOOLEAN(__stdcall*)(HANDLE, ULONG);
    using GetNumInputBuffersFn = BOOLEAN(__stdcall*)(HANDLE, ULONG*);

    std::uint8_t OutputReportIdOf(void* preparsed, USHORT valueCaps, USHORT buttonCaps) const;

    template <typename Fn>
    Fn Lookup(const char* name) const
    {
        return reinterpret_cast<Fn>(reinterpret_cast<void*>(GetProcAddress(m_module, name)));
    }

    HMODULE m_module = nullptr;
    GetHidGuidFn m_pfnGetHidGuid = nullptr;
    GetPreparsedDataFn m_pfnGetPreparsedData = nullptr;
    FreePreparsedDataFn m_pfnFreePreparsedData = nullptr;
    GetCapsFn m_pfnGetCaps = nullptr;
    GetFieldCapsFn m_pfnGetValueCaps = nullptr;
    GetFieldCapsFn m_pfnGetButtonCaps = nullptr;
    SetNumInputBuffersFn m_pfnSetNumInputBuffers = nullptr;
    GetNumInputBuffersFn m_pfnGetNumInputBuffers = nullptr;
};

}  // namespace hid::win32
