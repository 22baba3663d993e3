#include "core/messages.h"

#include <windows.h>

namespace {

Language g_language = kEnglish;

std::wstring Fill(const Text &text, const std::wstring *args, size_t count) {
    const wchar_t *pattern = g_language == kJapanese ? text.ja : text.en;
    std::wstring out;
    for (const wchar_t *p = pattern; *p != L'\0'; ++p) {
        size_t n = p[1] >= L'1' && p[1] <= L'9' ? static_cast<size_t>(p[1] - L'1') : count;
        if (*p == L'%' && n < count) {
            out += args[n];
            ++p;
        } else {
            out += *p;
        }
    }
    return out;
}

} // namespace

Language UserLanguage() {
    return PRIMARYLANGID(GetUserDefaultUILanguage()) == LANG_JAPANESE ? kJapanese : kEnglish;
}

void SetLanguage(Language language) {
    g_language = language;
}

unsigned long MessageLanguageId() {
    return g_language == kJapanese ? MAKELANGID(LANG_JAPANESE, SUBLANG_DEFAULT)
                                   : MAKELANGID(LANG_ENGLISH, SUBLANG_ENGLISH_US);
}

std::wstring Say(const Text &text) {
    return Fill(text, NULL, 0);
}

std::wstring Say(const Text &text, const std::wstring &a1) {
    return Fill(text, &a1, 1);
}

std::wstring Say(const Text &text, const std::wstring &a1, const std::wstring &a2) {
    const std::wstring args[] = {a1, a2};
    return Fill(text, args, 2);
}

std::wstring Say(const Text &text, const std::wstring &a1, const std::wstring &a2,
                 const std::wstring &a3) {
    const std::wstring args[] = {a1, a2, a3};
    return Fill(text, args, 3);
}

std::wstring Say(const Text &text, const std::wstring &a1, const std::wstring &a2,
                 const std::wstring &a3, const std::wstring &a4) {
    const std::wstring args[] = {a1, a2, a3, a4};
    return Fill(text, args, 4);
}

namespace msg {

const Text kUsage = {
    L"velkor: finds the input plug-ins that break the titles of Shift_JIS file names,\n"
    L"puts Velkor in front of them, and undoes it.\n"
    L"\n"
    L"  velkor scan [FOLDER]\n"
    L"      Lists the input plug-ins (in_*.dll) in FOLDER, usually the player's\n"
    L"      Plugins folder, with a verdict on each. Without FOLDER, it finds the\n"
    L"      player's Plugins folders through the registry and the player's\n"
    L"      winamp.ini, and says where it looked.\n"
    L"  velkor check PLUGIN.dll [FILE...]\n"
    L"      Shows the titles that the plug-in gives, alone and behind Velkor, for\n"
    L"      test names or for the FILEs (which need not exist).\n"
    L"  velkor install PLUGIN.dll [--runtime=msvcrt|msvcr70]\n"
    L"      Puts Velkor in front of the plug-in: in_xxx.dll becomes in_xxx.vlk, and\n"
    L"      a copy of Velkor takes the name in_xxx.dll. Close the player first.\n"
    L"  velkor update FOLDER [--runtime=msvcrt|msvcr70]\n"
    L"      Replaces every copy of Velkor in FOLDER that is older than this one.\n"
    L"  velkor uninstall PLUGIN.dll\n"
    L"      Undoes install.\n"
    L"\n"
    L"  --lang=ja or --lang=en chooses the language of the messages.\n"
    L"\n"
    L"You can also drop plug-ins or a Plugins folder onto velkor.exe; started\n"
    L"with nothing dropped on it, it does what velkor scan does without FOLDER.\n"
    L"Exit codes: 0 done; 1 bad arguments; 2 nothing was changed (the plug-in\n"
    L"cannot be used or fronted, or a check failed); 3 it failed, and the folder\n"
    L"was put back; 4 it failed, and the folder could not be put back (the message\n"
    L"says what to rename).\n",
    L"velkor: Shift_JIS のファイル名の曲名を壊す入力プラグインを見つけ、その前に\n"
    L"Velkor を導入します。元に戻すこともできます。\n"
    L"\n"
    L"  velkor scan [フォルダー]\n"
    L"      フォルダー（通常はプレーヤーの Plugins フォルダー）にある入力\n"
    L"      プラグイン（in_*.dll）を一覧にして、それぞれを判定します。フォルダーを\n"
    L"      省くと、レジストリとプレーヤーの winamp.ini からプレーヤーの Plugins\n"
    L"      フォルダーを探し、どこを調べたかを表示します。\n"
    L"  velkor check プラグイン.dll [ファイル...]\n"
    L"      テスト用の名前か指定のファイル（存在しなくてもかまいません）について、\n"
    L"      プラグイン単体と Velkor 経由の曲名を表示します。\n"
    L"  velkor install プラグイン.dll [--runtime=msvcrt|msvcr70]\n"
    L"      プラグインの前に Velkor を導入します。in_xxx.dll は in_xxx.vlk になり、\n"
    L"      Velkor のコピーが in_xxx.dll になります。先にプレーヤーを終了してください。\n"
    L"  velkor update フォルダー [--runtime=msvcrt|msvcr70]\n"
    L"      フォルダー内の、これより古い Velkor のコピーをすべて置き換えます。\n"
    L"  velkor uninstall プラグイン.dll\n"
    L"      install を元に戻します。\n"
    L"\n"
    L"  --lang=ja または --lang=en で、メッセージの言語を選べます。\n"
    L"\n"
    L"velkor.exe にプラグインや Plugins フォルダーをドロップしても使えます。何も\n"
    L"ドロップせずに起動すると、フォルダーを省いた velkor scan と同じ動作をします。\n"
    L"終了コード: 0 完了、1 引数の誤り、2 何も変更していない（使えない、または\n"
    L"Velkor が対応できないプラグイン、または事前の確認に失敗）、3 失敗したが\n"
    L"フォルダーは元に戻した、4 失敗し、フォルダーを元に戻せなかった（どの名前を\n"
    L"どう変えればよいかをメッセージで示します）。\n"};
const Text kUnknownArgument = {L"velkor: %1 is neither a command nor an existing file or folder.\n",
                               L"velkor: %1 はコマンドでも、存在するファイルやフォルダーでも"
                               L"ありません。\n"};
const Text kMissingArgument = {L"velkor %1 needs %2.\n",
                               L"velkor %1 には %2 を指定してください。\n"};
const Text kWordFolder = {L"FOLDER", L"フォルダー"};
const Text kWordPlugin = {L"PLUGIN.dll", L"プラグイン.dll"};
const Text kBadRuntime = {L"velkor: --runtime is msvcrt or msvcr70, not %1.\n",
                          L"velkor: --runtime には msvcrt か msvcr70 を指定します（%1 は"
                          L"使えません）。\n"};
const Text kPathNotAnsi = {L"velkor: %1 cannot be written in this system's code page, so a "
                           L"plug-in could not open it. Rename or move it.\n",
                           L"velkor: %1 はこのシステムのコードページで表せない文字を含むため、"
                           L"プラグインが開けません。名前を変えるか移動してください。\n"};
const Text kPressEnter = {L"\nPress Enter to close this window.",
                          L"\nEnter キーを押すと閉じます。"};

const Text kNoCutHere = {
    L"This system's code page (%1) has no double-byte character whose second byte is\n"
    L"0x5C, so no plug-in cuts file names here, and none needs Velkor on this system.\n",
    L"このシステムのコードページ（%1）には 2 バイト目が 0x5C の 2 バイト文字がないため、\n"
    L"ファイル名を切るプラグインはなく、このシステムでは Velkor は必要ありません。\n"};
const Text kTestNames = {L"Test names: %1, under each plug-in's own first extensions. A plug-in "
                         L"that cuts them at the 0x5C byte shows %2.\n",
                         L"テスト用の名前: %1（拡張子は各プラグインの最初のもの）。0x5C の"
                         L"バイトで切るプラグインは %2 と表示します。\n"};

const Text kNeedsVelkor = {L"needs Velkor", L"Velkor が必要"};
const Text kTitlesCorrectly = {L"titles correctly", L"曲名は正しい"};
const Text kFronted = {L"fronted by Velkor", L"Velkor 導入済み"};
const Text kNoNeed = {L"does not need Velkor", L"Velkor は不要"};
const Text kCannotFront = {L"Velkor cannot front it", L"Velkor は対応できない"};
const Text kCannotTell = {L"cannot tell", L"判定できない"};
const Text kNotInputPlugin = {L"not an input plug-in", L"入力プラグインではない"};
const Text kCannotLoad = {L"cannot be loaded", L"読み込めない"};
const Text kCrashed = {L"crashed", L"異常終了した"};
const Text kTimedOut = {L"did not answer within 10 s", L"10 秒以内に応答しない"};
const Text kCannotWork = {L"Velkor copy that cannot work", L"動作できない Velkor のコピー"};
const Text kCutShort = {L"change cut short", L"途中で止まった変更"};
const Text kLeftOver = {L"older plug-in left over", L"残された古いプラグイン"};
const Text kSpareCopy = {L"spare copy of Velkor", L"Velkor の予備のコピー"};

const Text kBasisTitle = {L"%1 -> %2", L"%1 -> %2"};
const Text kNoTitle = {L"(no title)", L"（曲名なし）"};
const Text kBasisFronts = {L"fronts %1", L"%1 の前に導入"};
const Text kBasisInnerMissing = {L"%1 is missing", L"%1 がありません"};
const Text kBasisWide = {L"wide-character record, version %1",
                         L"ワイド文字版のレコード、version %1"};
const Text kBasisVersion = {L"version %1", L"version %1"};
const Text kBasisNoInit = {L"its record has no Init", L"レコードに Init がありません"};
const Text kBasisNoExport = {L"no winampGetInModule2 export",
                             L"winampGetInModule2 のエクスポートがありません"};
const Text kBasisNoRecord = {L"winampGetInModule2 gave no record",
                             L"winampGetInModule2 がレコードを返しません"};
const Text kBasisCrashedIn = {L"in %1, exception %2", L"%1 の中で例外 %2"};
const Text kBasisEndedIn = {L"in %1, it ended the program with exit code %2",
                            L"%1 の中で、終了コード %2 でプログラムを終了させました"};
const Text kBasisHungIn = {L"in %1", L"%1 の中で"};
const Text kStageStart = {L"the start of the test program", L"テスト用プログラムの起動"};
const Text kBasisVelkorSaid = {L"Velkor says %1", L"Velkor のメッセージ: %1"};
const Text kBasisWindow = {L"it showed a window, \"%1\"", L"ウィンドウ「%1」を表示しました"};
const Text kBasisCopy = {L"Velkor %1, %2", L"Velkor %1、%2"};
const Text kBasisOlder = {L"older than %1: velkor update", L"%1 より古い: velkor update"};
const Text kBasisFixUninstall = {L"velkor uninstall %1 removes the copy",
                                 L"velkor uninstall %1 でコピーを削除できます"};
const Text kBasisFixRuntime = {L"velkor install --runtime=msvcrt %1 replaces it with the build "
                               L"that every Windows runs",
                               L"velkor install --runtime=msvcrt %1 で、どの Windows でも動く"
                               L"版に置き換えられます"};
const Text kBasisWideBehind = {L"it fronts a Unicode plug-in, whose titles need no repair",
                               L"Unicode 版のプラグインの前にあり、曲名の修正は不要です"};
const Text kBasisCutShort = {L"%1 is missing, so the player has no plug-in for these files: "
                             L"velkor install %2 finishes the change, velkor uninstall %2 takes "
                             L"it back",
                             L"%1 がないため、プレーヤーにはこれらのファイルのプラグインが"
                             L"ありません: velkor install %2 で変更を完了、velkor uninstall %2 "
                             L"で元に戻せます"};
const Text kBasisLeftOver = {L"%1 is no copy of Velkor: the plug-in's installer or an update "
                             L"replaced it. The player ignores this older plug-in; nothing needs "
                             L"doing",
                             L"%1 は Velkor のコピーではありません（プラグインのインストーラーや"
                             L"更新が置き換えました）。プレーヤーはこの古いプラグインを使い"
                             L"ません。何もする必要はありません"};
const Text kBasisSpare = {L"left by a change cut short: velkor uninstall %1 deletes it",
                          L"途中で止まった変更の残り: velkor uninstall %1 で削除できます"};

const Text kScanHeader = {L"Input plug-ins in %1:\n", L"%1 の入力プラグイン:\n"};
const Text kScanNone = {L"There are no input plug-ins (in_*.dll) in %1.\n",
                        L"%1 には入力プラグイン（in_*.dll）がありません。\n"};
const Text kScanColumns = {L"File|Description|Verdict|Rests on", L"ファイル|説明|判定|根拠"};
const Text kScanInstallHint = {L"To put Velkor in front of a plug-in that needs it, close the "
                               L"player and run:\n",
                               L"Velkor が必要なプラグインに導入するには、プレーヤーを終了して"
                               L"次を実行します:\n"};
const Text kFolderMissing = {L"velkor: %1: %2\n", L"velkor: %1: %2\n"};

const Text kSearchHeader = {L"Looking for the player's Plugins folders:\n",
                            L"プレーヤーの Plugins フォルダーを探します:\n"};
const Text kLookedValue = {L"  %1: %2\n", L"  %1: %2\n"};
const Text kLookedNotSet = {L"  %1: not set\n", L"  %1: 設定なし\n"};
const Text kLookedNotAnsi = {L"  %1: %2 cannot be written in this system's code page, so Velkor "
                             L"cannot work there\n",
                             L"  %1: %2 はこのシステムのコードページで表せないため、Velkor は"
                             L"そこでは使えません\n"};
const Text kLookedNoFile = {L"  %1: no such file\n", L"  %1: ファイルがありません\n"};
const Text kLookedNoFolder = {L"  %1: no such folder\n", L"  %1: フォルダーがありません\n"};
const Text kLookedFound = {L"  Plugins folder: %1\n", L"  Plugins フォルダー: %1\n"};
const Text kSearchNone = {
    L"No Plugins folder of the player was found. Name the folder, in quotes when it has\n"
    L"spaces in it:\n"
    L"  velkor scan \"C:\\Program Files\\Winamp\\Plugins\"\n"
    L"or drop the folder onto velkor.exe.\n",
    L"プレーヤーの Plugins フォルダーが見つかりませんでした。フォルダーを指定して\n"
    L"ください（空白を含むときは \" で囲みます）:\n"
    L"  velkor scan \"C:\\Program Files\\Winamp\\Plugins\"\n"
    L"velkor.exe にフォルダーをドロップしてもかまいません。\n"};

const Text kLabelPlugin = {L"Plug-in:    ", L"プラグイン: "};
const Text kLabelVersion = {L"Version:    ", L"バージョン: "};
const Text kLabelExtensions = {L"Extensions: ", L"拡張子:     "};
const Text kLabelVerdict = {L"Verdict:    ", L"判定:       "};
const Text kExtensionsMany = {L"%1 extensions, the first: %2, ...", L"%1 個、最初は %2 など"};
const Text kNoExtensions = {L"(none)", L"（なし）"};
const Text kNoDescription = {L"(no description)", L"（説明なし）"};
const Text kCheckColumns = {L"File|Alone|With Velkor", L"ファイル|単体|Velkor 経由"};
const Text kRepaired = {L"<- repaired", L"<- 修復"};
const Text kCheckSummary = {L"%1 of %2 titles differ with Velkor.\n",
                            L"%2 件中 %1 件の曲名が Velkor で変わります。\n"};
const Text kCheckCopy = {L"%1 is a copy of Velkor. It fronts %2: that plug-in is checked here, "
                         L"alone and behind the copy.\n\n",
                         L"%1 は Velkor のコピーで、%2 の前に導入されています。ここでは %2 を、"
                         L"単体とこのコピー経由で確認します。\n\n"};
const Text kCopyWithoutInner = {L"%1 is a copy of Velkor, but %2, the plug-in that it fronts, is "
                                L"missing.\n",
                                L"%1 は Velkor のコピーですが、その前に立つはずのプラグイン %2 が"
                                L"ありません。\n"};
const Text kNoVelkorDll = {L"Cannot find Velkor: %1 is missing. Keep velkor.exe together with the "
                           L"msvcrt and msvcr70 folders of the package.\n",
                           L"Velkor が見つかりません（%1 がありません）。velkor.exe は配布物の "
                           L"msvcrt、msvcr70 フォルダーと一緒に置いてください。\n"};
const Text kUnusable = {L"%1: %2\n  %3\n", L"%1: %2\n  %3\n"};
const Text kAskInstall = {L"\n%1 needs Velkor. Put Velkor in front of it now? [y/N] ",
                          L"\n%1 には Velkor が必要です。いま Velkor を導入しますか? [y/N] "};

const Text kNotFound = {L"%1: %2\n", L"%1: %2\n"};
const Text kNotDll = {L"%1 is not a .dll file: Velkor takes the name of the plug-in's .dll.\n",
                      L"%1 は .dll ファイルではありません。Velkor はプラグインの .dll の名前で"
                      L"導入します。\n"};
const Text kAlreadyCopy = {L"%1 is already a copy of Velkor, in front of %2. Nothing was "
                           L"changed.\n",
                           L"%1 はすでに Velkor のコピーで、%2 の前に導入されています。"
                           L"何も変更していません。\n"};
const Text kInnerExists = {L"%1 already exists, and Velkor would front that file. Move it "
                           L"elsewhere first. Nothing was changed.\n",
                           L"%1 がすでにあり、Velkor はそちらの前に立ってしまいます。先に別の"
                           L"場所へ移してください。何も変更していません。\n"};
const Text kNoRuntime = {L"Cannot find Velkor: %1 is missing. Keep velkor.exe together with "
                         L"the msvcrt and msvcr70 folders of the package. Nothing was changed.\n",
                         L"Velkor が見つかりません（%1 がありません）。velkor.exe は配布物の "
                         L"msvcrt、msvcr70 フォルダーと一緒に置いてください。何も変更して"
                         L"いません。\n"};
const Text kNoMsvcr70 = {L"MSVCR70.dll cannot be loaded: %1 Use --runtime=msvcrt, whose "
                         L"runtime every Windows has. Nothing was changed.\n",
                         L"MSVCR70.dll を読み込めません: %1 どの Windows にもあるランタイムを"
                         L"使う --runtime=msvcrt を指定してください。何も変更していません。\n"};
const Text kCannotInstall = {L"Velkor cannot be put in front of %1: %2\n  %3\nNothing was "
                             L"changed.\n",
                             L"%1 の前には Velkor を導入できません: %2\n  %3\n何も変更して"
                             L"いません。\n"};
const Text kAlreadyCorrect = {L"Note: %1 already titles the test names correctly; Velkor will "
                              L"leave its titles as they are.\n",
                              L"注意: %1 はテスト用の名前を正しく表示しています。Velkor を導入"
                              L"しても曲名は変わりません。\n"};
const Text kAdviceAdmin = {
    L"Windows denied access: run velkor as administrator (right-click "
    L"Command Prompt, then Run as administrator).",
    L"Windows がアクセスを拒否しました。velkor を管理者として実行して"
    L"ください（コマンド プロンプトを右クリックし、「管理者として実行」）。"};
const Text kAdviceClose = {L"The file is in use: close the player, then try again.",
                           L"ファイルが使用中です。プレーヤーを終了してから、もう一度"
                           L"実行してください。"};
const Text kCannotChange = {L"Cannot change %1: %2 %3 Nothing was changed.\n",
                            L"%1 を変更できません: %2 %3 何も変更していません。\n"};
const Text kStepCopy = {L"copying %1 to %2", L"%1 を %2 にコピー"};
const Text kStepRename = {L"renaming %1 to %2", L"%1 の名前を %2 に変更"};
const Text kStepRemove = {L"deleting %1", L"%1 を削除"};
const Text kStepVerify = {L"checking %1 behind Velkor", L"Velkor 経由の %1 の確認"};
const Text kInstallFailed = {L"Installing failed while %1: %2\n",
                             L"導入に失敗しました（%1）: %2\n"};
const Text kUninstallFailed = {L"Uninstalling failed while %1: %2\n",
                               L"元に戻す処理に失敗しました（%1）: %2\n"};
const Text kRestored = {L"The folder was put back as it was.\n",
                        L"フォルダーは元どおりに戻しました。\n"};
const Text kRestoreFailed = {L"Putting the folder back failed too, while %1: %2\n"
                             L"To put it back by hand, close the player, and in %3:\n",
                             L"フォルダーを元に戻す処理にも失敗しました（%1）: %2\n"
                             L"手作業で戻すには、プレーヤーを終了し、%3 で次のようにします:\n"};
const Text kManualRename = {L"  %1. rename %2 to %3\n", L"  %1. %2 の名前を %3 に変更する\n"};
const Text kManualDelete = {L"  %1. delete %2 (a copy of Velkor)\n",
                            L"  %1. %2 を削除する（Velkor のコピー）\n"};
const Text kVerifyUnusable = {L"%1 behind Velkor: %2 (%3)", L"Velkor 経由の %1: %2（%3）"};
const Text kVerifyNotInner = {L"%1 did not hand over the record of %2",
                              L"%1 が %2 のレコードを渡しませんでした"};
const Text kVerifyTitle = {L"the title of %1 is %2 behind Velkor, not %3",
                           L"%1 の曲名が Velkor 経由で %2 になりました（期待は %3）"};
const Text kInstalled = {L"Done: Velkor is in front of %1. The plug-in is now %2, and %1 is a "
                         L"copy of %3.\n",
                         L"完了: %1 の前に Velkor を導入しました。プラグインは %2 になり、"
                         L"%1 は %3 のコピーです。\n"};
const Text kInstalledTitle = {L"  %1: %2 alone, %3 behind Velkor\n",
                              L"  %1: 単体では %2、Velkor 経由では %3\n"};
const Text kUndoHint = {L"Restart the player to use it. To undo it: velkor uninstall %1\n",
                        L"プレーヤーを再起動すると有効になります。元に戻すには: "
                        L"velkor uninstall %1\n"};
const Text kNotACopy = {L"%1 is not a copy of Velkor; there is nothing to undo.\n",
                        L"%1 は Velkor のコピーではないため、元に戻すものはありません。\n"};
const Text kNothingToRestore = {L"%1 is a copy of Velkor, but %2 is missing, so there is no "
                                L"plug-in to put back. Nothing was changed.\n",
                                L"%1 は Velkor のコピーですが、%2 がないため、戻すプラグインが"
                                L"ありません。何も変更していません。\n"};
const Text kUninstalled = {L"Done: %1 is the plug-in again, and Velkor's copy is deleted. "
                           L"Restart the player.\n",
                           L"完了: %1 は元のプラグインに戻り、Velkor のコピーは削除しました。"
                           L"プレーヤーを再起動してください。\n"};

// Changes cut short, and copies kept up to date.
const Text kFinishing = {
    L"%1 is missing and %2 is there: an earlier install or update of Velkor was cut short, and "
    L"the player has no plug-in for these files. Finishing it: a copy of Velkor takes the name "
    L"%1.\n",
    L"%1 がなく %2 があります。以前の Velkor の導入または更新が途中で止まり、プレーヤーには"
    L"これらのファイルのプラグインがありません。導入を完了します: Velkor のコピーが %1 の名前を"
    L"取ります。\n"};
const Text kTakingBack = {
    L"%1 is missing and %2 is there: an earlier change of Velkor was cut short, and the player "
    L"has no plug-in for these files. Taking it back: %2 takes its name %1 back.\n",
    L"%1 がなく %2 があります。以前の Velkor の変更が途中で止まり、プレーヤーにはこれらの"
    L"ファイルのプラグインがありません。元に戻します: %2 の名前を %1 に戻します。\n"};
const Text kFinished = {L"Done: %1 works again, behind Velkor. Restart the player.\n",
                        L"完了: %1 は Velkor 経由で再び使えます。プレーヤーを再起動して"
                        L"ください。\n"};
const Text kTakenBack = {L"Done: %1 is the plug-in itself again. Restart the player.\n",
                         L"完了: %1 は元のプラグインに戻りました。プレーヤーを再起動して"
                         L"ください。\n"};
const Text kSpareDeleted = {L"Deleted %1, a spare copy of Velkor that an earlier change left.\n",
                            L"以前の変更が残した Velkor の予備のコピー %1 を削除しました。\n"};
const Text kSpareKept = {L"Could not delete %1, a spare copy of Velkor: %2\n",
                         L"Velkor の予備のコピー %1 を削除できませんでした: %2\n"};
const Text kPluginGone = {
    L"%1 is a copy of Velkor, but the plug-in behind it, %2, is gone (the player's Preferences "
    L"page deletes it when the plug-in is uninstalled there). Nothing was changed. To remove "
    L"the copy: velkor uninstall %3\n",
    L"%1 は Velkor のコピーですが、その後ろのプラグイン %2 がありません（プレーヤーの設定画面で"
    L"アンインストールすると削除されます）。何も変更していません。コピーを削除するには: "
    L"velkor uninstall %3\n"};
const Text kCopyRemoved = {L"Done: %1 was a copy of Velkor without its plug-in %2; it is "
                           L"deleted.\n",
                           L"完了: %1 はプラグイン %2 のない Velkor のコピーだったため、削除"
                           L"しました。\n"};
const Text kLeftoverInner = {
    L"%1 is not a copy of Velkor, and %2 beside it is an older plug-in that the plug-in's own "
    L"installer or an update left over; the player ignores it. To put Velkor in front of %1, "
    L"first move %2 out of the folder. Nothing was changed.\n",
    L"%1 は Velkor のコピーではなく、隣の %2 はプラグイン自身のインストーラーや更新が残した"
    L"古いプラグインです。プレーヤーはこれを使いません。%1 の前に Velkor を導入するには、先に "
    L"%2 をフォルダーの外へ移してください。何も変更していません。\n"};
const Text kUpdating = {L"%1 is a copy of Velkor %2; this program carries %3. Updating it, with "
                        L"the runtime %4.\n",
                        L"%1 は Velkor %2 のコピーです。このプログラムは %3 を含んでいます。"
                        L"ランタイム %4 で更新します。\n"};
const Text kUpdated = {L"Done: %1 is now a copy of Velkor %2. The plug-in %3 was not touched. "
                       L"Restart the player.\n",
                       L"完了: %1 は Velkor %2 のコピーになりました。プラグイン %3 には"
                       L"触れていません。プレーヤーを再起動してください。\n"};
const Text kUpdateFailed = {L"Updating failed while %1: %2\n", L"更新に失敗しました（%1）: %2\n"};
const Text kUpToDate = {L"%1 is already a copy of Velkor %2, in front of %3. Nothing was "
                        L"changed.\n",
                        L"%1 はすでに Velkor %2 のコピーで、%3 の前に導入されています。"
                        L"何も変更していません。\n"};
const Text kNameTooLong = {
    L"%1 is too long for Windows' file calls (%2 characters; at most 259). Nothing was changed. "
    L"Move the player or its Plugins folder to a shorter path.\n",
    L"%1 は Windows のファイル操作には長すぎます（%2 文字、最大 259 文字）。何も変更して"
    L"いません。プレーヤーまたは Plugins フォルダーを短いパスへ移してください。\n"};
const Text kFolderNotAnsi = {
    L"%1 holds characters that this system's code page (%2) cannot write. Velkor finds its "
    L"plug-in through that code page, so it cannot work there, and nothing was changed. Move "
    L"the player, or its Plugins folder, to a folder whose name the code page can write.\n",
    L"%1 には、このシステムのコードページ（%2）で表せない文字が含まれています。Velkor は"
    L"このコードページでプラグインを探すため、ここでは動作できません。何も変更していません。"
    L"プレーヤーまたは Plugins フォルダーを、コードページで表せる名前のフォルダーへ移して"
    L"ください。\n"};
const Text kBusy = {L"Another velkor is changing %1 right now. Nothing was changed; when it is "
                    L"done, velkor scan shows the folder as it left it.\n",
                    L"別の velkor が %1 を変更しているところです。何も変更していません。"
                    L"終わったら、velkor scan でその結果のフォルダーを確認できます。\n"};
const Text kNeedsQuotes = {L"A path with spaces needs quotes: velkor %1 %2\n",
                           L"空白を含むパスは引用符で囲んでください: velkor %1 %2\n"};
const Text kUpdateNone = {L"No copy of Velkor in %1 is older than %2.\n",
                          L"%1 には %2 より古い Velkor のコピーはありません。\n"};

} // namespace msg

// The window (VelkorSetup.exe)
namespace msg {

const Text kWindowTitle = {L"Velkor %1: titles of Japanese and Chinese file names",
                           L"Velkor %1: 日本語・中国語のファイル名の曲名"};
const Text kButtonInstall = {L"&Install", L"導入(&I)"};
const Text kButtonUninstall = {L"&Uninstall", L"元に戻す(&U)"};
const Text kButtonCheck = {L"&Check titles", L"曲名を確認(&C)"};
const Text kButtonUpdateAll = {L"Update &all", L"すべて更新(&A)"};
const Text kButtonFolder = {L"&Folder...", L"フォルダー(&F)..."};
const Text kButtonRescan = {L"&Scan again (F5)", L"再スキャン(&S) (F5)"};
const Text kButtonCancel = {L"Cancel", L"キャンセル"};
const Text kButtonClose = {L"Close", L"閉じる"};
const Text kLabelRuntime = {L"&Runtime:", L"ランタイム(&R):"};
const Text kStatusSearching = {L"Looking for the player's Plugins folders...",
                               L"プレーヤーの Plugins フォルダーを探しています..."};
const Text kStatusScanning = {L"Checking %1 of %2: %3", L"確認中 %1/%2: %3"};
const Text kStatusScanned = {L"%1 plug-ins in %2. Select one for what can be done.",
                             L"%2 のプラグイン %1 個。選ぶと、できることが分かります。"};
const Text kStatusCancelled = {L"Scan cancelled.", L"スキャンを取り消しました。"};
const Text kStatusWorking = {L"%1: working...", L"%1: 処理中..."};
const Text kStatusDone = {L"%1: done.", L"%1: 完了しました。"};
const Text kStatusFailed = {L"%1: failed.", L"%1: 失敗しました。"};
const Text kPickFolder = {L"Choose the player's Plugins folder.",
                          L"プレーヤーの Plugins フォルダーを選んでください。"};
const Text kNoPlayer = {L"The player's Plugins folder was not found. Choose it with Folder..., "
                        L"or drop it onto this window.",
                        L"プレーヤーの Plugins フォルダーが見つかりませんでした。"
                        L"「フォルダー」で選ぶか、このウィンドウにドロップしてください。"};
const Text kAskAdmin = {L"Windows does not let this program change files in %1.\n\nStart it again "
                        L"as administrator?",
                        L"%1 のファイルを変更する権限がありません。\n\n管理者として起動し"
                        L"直しますか?"};
const Text kInUse = {L"%1\nClose the player, then click Retry.",
                     L"%1\nプレーヤーを終了してから「再試行」をクリックしてください。"};
const Text kCheckWindowTitle = {L"Titles of %1", L"%1 の曲名"};

} // namespace msg
