// The main window's own texts, in one place: captions, tooltips, column headers, the
// help menu and box, and the message of a failed start. The status bar's texts are built
// in MeterAndVolume.h, the menus' and toolbars' in CommandTables.h.
#pragma once
#include <array>

namespace sonimo::texts {

// The tone buttons 2128, 2129 and 2130, and their tooltips (the key name is appended).
inline constexpr std::array<const char16_t*, 3> kToneButtons = {u"トーンを削除", u"トーンを追加",
                                                                u"一覧をクリア"};
inline constexpr std::array<const char16_t*, 3> kToneButtonTips = {
    u"選択したトーンをトーン一覧から削除する", u"トーン一覧にトーンを追加する",
    u"トーン一覧から最初のトーン以外の全てを削除"};

inline constexpr char16_t kGridTip[] = u"トーンの詳細（ダブルクリックで変更）";
inline constexpr char16_t kLabelColumn[] = u"トーンのデータ";
inline constexpr char16_t kValueColumn[] = u"値";

inline constexpr char16_t kHelpMenu[] = u"ヘルプ";
inline constexpr char16_t kHelpItem[] = u"Sonimoのヘルプ\tF1";
inline constexpr char16_t kHelpCaption[] = u"Sonimoのヘルプ";
inline constexpr char16_t kHelpText[] =
    u"Sonimoテスト信号生成ソフト v4.00\n\nSpace: 再生/停止　Esc: 停止\nテンキー +/−: 値を上げる/下げる　"
    u"Page Up/Down: 大きく上げる/下げる\nEnter: 値を編集する";

inline constexpr char16_t kStartFailedCaption[] = u"音声再生エラー";
inline constexpr char16_t kStartFailed[] =
    u"再生を開始できません。\r\n\r\nサウンドカードが他のプログラムで使われているか、"
    u"正しい再生設定の正しい"
    u"音声再生デバイスが選択されていないことが原因と思われます。";

} // namespace sonimo::texts
