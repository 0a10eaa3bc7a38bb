#include "resources.h"

#include <array>

namespace res {

namespace {

constexpr const char16_t* kDialogFont = u"MS UI Gothic";

constexpr ControlTemplate kConsoleControls[] = {
    {IDOK, ControlKind::DefPushButton, u"送信", 209, 179, 50, 14, kTabStop, "send", nullptr},
    {IDCANCEL, ControlKind::PushButton, u"終了", 263, 179, 50, 14, kTabStop, "quit", nullptr},
    {IDC_HISTORY, ControlKind::MultiEdit, u"", 7, 7, 306, 149,
     kTabStop | kReadOnly | kAutoHScroll | kBorder, "history", u"受信履歴"},
    {IDC_SEND_TEXT, ControlKind::Edit, u"", 7, 160, 306, 14, kTabStop | kAutoHScroll | kBorder,
     "input", u"送信テキスト"},
    {IDC_STATUS, ControlKind::Static, u"スタティック", 7, 185, 82, 8, kGroup | kLeft, "status",
     u"状態"},
    {IDC_BOOT, ControlKind::PushButton, u"Bootloder", 135, 179, 50, 14, kTabStop, "boot", nullptr},
};

constexpr ControlTemplate kAboutControls[] = {
    {IDC_STATIC, ControlKind::Icon, u"", 14, 14, 18, 21, 0, "icon", u"Wendrel", IDR_MAINFRAME},
    {IDC_STATIC, ControlKind::Static, u"Wendrel, Version 1.5", 50, 7, 71, 8, kLeft | kNoPrefix,
     "version", nullptr},
    {IDC_STATIC, ControlKind::Static, u"Copyright (C) 2026", 43, 18, 84, 8, kLeft, "copyright",
     nullptr},
    {IDC_STATIC, ControlKind::Static, u"Wendrel 開発者", 97, 29, 56, 8, kLeft, "authors", nullptr},
    {IDOK, ControlKind::DefPushButton, u"OK", 113, 40, 50, 14, kGroup | kTabStop, "ok", nullptr},
};

constexpr DialogTemplate kTemplates[] = {
    {IDD_WENDREL_DIALOG, "console", u"Wendrel", 320, 200, kDialogFont, 9,
     kCaption | kSysMenu | kMinimizeBox | kModalFrame, kConsoleControls},
    {IDD_ABOUTBOX, "about", u"バージョン情報 Wendrel", 170, 62, kDialogFont, 9,
     kCaption | kSysMenu | kModalFrame, kAboutControls},
};

int MulDiv(int a, int b, int c)
{
    // Rounds half away from zero, as the Windows dialog manager does.
    const long long p = static_cast<long long>(a) * b;
    return static_cast<int>(p >= 0 ? (p + c / 2) / c : (p - c / 2) / c);
}

}  // namespace

const DialogTemplate* FindDialogTemplate(int id)
{
    for (const auto& t : kTemplates)
        if (t.id == id)
            return &t;
    return nullptr;
}

std::u16string LoadString(int id)
{
    switch (id) {
    case IDS_ABOUTBOX: return u"バージョン情報 Wendrel(&A)...";
    case IDS_SHOW_TIMES: return u"時刻を表示(&T)";
    case IDS_FIND: return u"検索(&F)...";
    case IDS_CLEAR_HISTORY: return u"履歴を消去(&L)";
    case IDS_COPY_ALL: return u"受信履歴をすべてコピー(&H)";
    case IDS_FIND_TITLE: return u"検索";
    case IDS_FIND_NEXT: return u"次を検索(&N)";
    case IDS_FIND_PREVIOUS: return u"前を検索(&P)";
    case IDS_MATCH_CASE: return u"大文字と小文字を区別する(&C)";
    case IDS_FIND_CLOSE: return u"閉じる";
    case IDS_NOT_FOUND: return u"見つかりません";
    case IDS_SHOW_BYTES: return u"16進表示(&X)";
    case IDS_SHOW_EVENTS: return u"接続と送信を表示(&E)";
    case IDS_SAVE_AS: return u"名前を付けて保存(&S)...";
    case IDS_SAVE_TITLE: return u"名前を付けて保存";
    case IDS_SAVE_FILTER: return u"テキスト ファイル (*.txt)";
    case IDS_SAVE_FAILED: return u"ファイルを保存できませんでした。";
    default: return {};
    }
}

int BaseUnitX(int widthOf52Letters) { return (widthOf52Letters / 26 + 1) / 2; }

int DluToPixelsX(int dlu, int baseX) { return MulDiv(dlu, baseX, 4); }

int DluToPixelsY(int dlu, int baseY) { return MulDiv(dlu, baseY, 8); }

}  // namespace res
