// Every text the installer shows or logs, in code page 932 (the sources are UTF-8;
// the compiler turns them). "%s" stands for a member's path or a name. The option
// dialog's own texts are in its template (res/installer.rc); the shell's verb names are
// registry values of the association table.
#pragma once

// --- the destination and the start
constexpr const char kCannotCreateFolder[] = "フォルダを作成できません";
constexpr const char kCannotStart[] =
    "インストーラを開始できません。ファイルが壊れているか、読み取れません。";
constexpr const char kBrowseTitle[] = "解凍先フォルダの指定";

// --- the archive, as it is checked
constexpr const char kDamagedArchive[] = "書庫が壊れているため、インストールを中止しました。";
constexpr const char kUnknownHeader[] = "Unknown header";
constexpr const char kDamagedFile[] = "ファイル %s が壊れています。";
constexpr const char kUnknownMethod[] = "ファイル %s は展開できない形式で圧縮されています。";
constexpr const char kTooLarge[] = "ファイル %s は大きすぎるため展開できません。";
constexpr const char kPathTooLong[] = "ファイル名 %s が長すぎるため展開できません。";
constexpr const char kUnusableName[] = "ファイル名 %s は使用できません。";
constexpr const char kSameName[] = "ファイル %s と %s は同じ名前になるため展開できません。";
constexpr const char kLinkInPath[] = "%s はリンクのため、展開できません。";
constexpr const char kDiskFull[] =
    "ディスクの空きが足りません。インストールには %s MB の空きが必要です。";

// --- the members, as they are written and committed
constexpr const char kCannotCreate[] = "ファイル %s を作成できません。";
constexpr const char kCannotWrite[] =
    "ファイル %s を書き込めません。ディスクの空きを確認してください。";
constexpr const char kNoMemoryFor[] = "ファイル %s を展開するメモリが足りません。";
constexpr const char kInUse[] = "ファイル %s が使用中のため、インストールを中止しました。";
constexpr const char kDllInUse[] =
    "VopaDll.dll が使用中です。\n再起動後にインストールを行ってください。";
constexpr const char kRestartCompletes[] =
    "使用中のファイルがあるため、コンピュータを再起動すると更新が完了します。";

// --- the run's end
constexpr const char kInstalledTo[] = "インストールしました: ";  // the destination follows
constexpr const char kStopped[] = "インストールを中止しました。";
constexpr const char kNoMemory[] = "メモリが足りないため、インストールを中止しました。";
constexpr const char kInternalFault[] = "内部エラーのため、インストールを中止しました。";

// --- the progress window
constexpr const char kAbortLabel[] = "中止";
constexpr const char kChecking[] = "確認中 ";  // the member's path follows
