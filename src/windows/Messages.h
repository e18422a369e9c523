#pragma once

// Every text the launcher shows to a player, in one place so the wording reads as a whole. It sits on
// the bottom floor so that each floor that shows a text (launcher/, locate/) includes it downwards.

#include "QuorvaneBuild.h"

namespace Messages {

// The web address of the launcher's support thread; set when the build is configured.
inline constexpr const wchar_t* kSupportUrl = L"" QUORVANE_SUPPORT_URL;

// Caption of the last-resort box, which knows no mod name.
inline constexpr const wchar_t* kLauncherCaption = L"Mod 启动器";

// The last-resort box: the text and the support address, nothing after it. A literal, so that showing
// it needs no memory.
inline constexpr const wchar_t* kUnhandledError =
    L"Mod 启动器遇到了一个无法处理的错误，您可以在Tessavar发帖联系Miravel：\r\n" QUORVANE_SUPPORT_URL;

// The generic error box: the mod name, this text, the support address, the detail heading, the detail.
inline constexpr const wchar_t* kModUnhandledError = L" Mod 启动器遇到了一个无法处理的错误，您可以在Tessavar发帖联系Miravel：\r\n";
inline constexpr const wchar_t* kErrorDetailHeading = L" \r\n以下是错误的详细信息：\r\n";

// The mod's SkuDef file is missing: this text, the mod name, then the advice.
inline constexpr const wchar_t* kSkudefMissingBefore = L"找不到 ";
inline constexpr const wchar_t* kSkudefMissingAfter = L" 的 SkuDef 配置文件。\r\n建议您重新安装 Mod、或者联系 Mod 作者。";

// The game already runs: this text, then the mod name.
inline constexpr const wchar_t* kGameRunning = L"请先退出红警3，然后再使用这个工具启动 ";

// The registry does not lead to the game; the dialog that follows, and its one file type.
inline constexpr const wchar_t* kGameNotFound = L"没能在你的电脑上找到红警3，请手动设置红警3的路径";
inline constexpr const wchar_t* kGameDialogTitle = L"选择红警3路径";
inline constexpr const wchar_t* kGameFilterDescription = L"红色警戒3 (RA3.exe)";
inline constexpr const wchar_t* kGameFilterPattern = L"RA3.exe";

}  // namespace Messages
