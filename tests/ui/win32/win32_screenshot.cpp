#include "win32_driver.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

std::vector<std::uint32_t> ScreenPixels(const RECT& r)
{
    const int cx = r.right - r.left, cy = r.bottom - r.top;
    HDC screen = GetDC(nullptr);
    HDC mem = CreateCompatibleDC(screen);
    HBITMAP bmp = CreateCompatibleBitmap(screen, cx, cy);
    HGDIOBJ old = SelectObject(mem, bmp);
    BitBlt(mem, 0, 0, cx, cy, screen, r.left, r.top, SRCCOPY);
    SelectObject(mem, old);
    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof bi;
    bi.biWidth = cx;
    bi.biHeight = -cy;
    bi.biPlanes = 1;
    bi.biBitCount = 32;
    std::vector<std::uint32_t> pixels(static_cast<std::size_t>(cx) * cy);
    GetDIBits(mem, bmp, 0, cy, pixels.data(), reinterpret_cast<BITMAPINFO*>(&bi), DIB_RGB_COLORS);
    DeleteObject(bmp);
    DeleteDC(mem);
    ReleaseDC(nullptr, screen);
    return pixels;
}

void SaveScreenshot(HWND hwnd, const char* name, HWND also)
{
    RECT r;
    GetWindowRect(hwnd, &r);
    for (HWND h : {hwnd, also}) {
        if (!h)
            continue;
        RedrawWindow(h, nullptr, nullptr,
                     RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
        RECT w;
        GetWindowRect(h, &w);
        UnionRect(&r, &r, &w);
    }
    const std::vector<std::uint32_t> pixels = ScreenPixels(r);
    // Written as 24 bits a pixel: a 32-bit bitmap's fourth byte, unset
    // here, reads as transparency to some converters.
    const int cx = r.right - r.left, cy = r.bottom - r.top;
    BITMAPINFOHEADER bi{};
    bi.biSize = sizeof bi;
    bi.biWidth = cx;
    bi.biHeight = -cy;
    bi.biPlanes = 1;
    bi.biBitCount = 24;
    const std::size_t stride = (static_cast<std::size_t>(cx) * 3 + 3) / 4 * 4;
    std::vector<unsigned char> rows(stride * cy);
    for (int y = 0; y < cy; ++y)
        for (int x = 0; x < cx; ++x) {
            const std::uint32_t p = pixels[static_cast<std::size_t>(y) * cx + x];
            unsigned char* out = &rows[y * stride + x * 3];
            out[0] = p & 0xFF;
            out[1] = (p >> 8) & 0xFF;
            out[2] = (p >> 16) & 0xFF;
        }

    std::string path = std::string("Z:") + WENDREL_SCREENSHOT_DIR + "/" + name + ".bmp";
    for (char& c : path)
        if (c == '/')
            c = '\\';
    BITMAPFILEHEADER fh{};
    fh.bfType = 0x4D42;
    fh.bfOffBits = sizeof fh + sizeof bi;
    fh.bfSize = static_cast<DWORD>(fh.bfOffBits + rows.size());
    if (FILE* f = std::fopen(path.c_str(), "wb")) {
        std::fwrite(&fh, sizeof fh, 1, f);
        std::fwrite(&bi, sizeof bi, 1, f);
        std::fwrite(rows.data(), 1, rows.size(), f);
        std::fclose(f);
    } else {
        ADD_FAILURE() << "cannot write " << path;
    }
}
