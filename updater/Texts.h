#pragma once
// What the updater says to its users.

namespace ombrix::updater::texts {

// Status line, one per transfer state (7 and 8 say the same).
inline constexpr const wchar_t* kStateTexts[] = {
    L"正在连接服务器",
    L"成功连接到服务器",
    L"正在与服务器连接",
    L"已与服务器连接成功",
    L"正在向服务器发送请求",
    L"发送请求已成功",
    L"正在下载所需文件，请耐心等待 ......",
    L"正在下载所需文件，请耐心等待 ......",
    L"正在解除与服务器的连接",
    L"文件下载完成...",
    L"与主机通讯时出现了错误",
};
inline constexpr wchar_t kDownloadComplete[] = L"文件已经下载完成！";
inline constexpr wchar_t kCopying[] = L"正在复制文件......";
inline constexpr wchar_t kClosingPrefix[] = L"正在关闭";
inline constexpr wchar_t kClosingSuffix[] = L"......";

inline constexpr wchar_t kNoticeTitle[] = L"提示：";
inline constexpr wchar_t kConfirmTitle[] = L"提示";
inline constexpr wchar_t kApplicationTitle[] = L"update";

inline constexpr wchar_t kAlreadyRunningSuffix[] = L" 正在运行中......";
inline constexpr wchar_t kCannotConnect[] = L"暂时无法连接服务器，请稍后再试！";
inline constexpr wchar_t kInvalidAddress[] = L"升级地址无效，无法保存下载文件！";
inline constexpr wchar_t kServerErrorPrefix[] = L"服务器返回错误（HTTP ";
inline constexpr wchar_t kServerErrorSuffix[] = L"），请稍后再试！";
inline constexpr wchar_t kProxyLogin[] = L"代理服务器需要身份验证，无法连接升级服务器！";
inline constexpr wchar_t kIncomplete[] = L"文件下载不完整，请稍后再试！";
inline constexpr wchar_t kTooLarge[] = L"下载的文件过大，升级未完成！";
inline constexpr wchar_t kCannotSave[] = L"无法保存下载文件，请检查磁盘空间和写入权限！";
inline constexpr wchar_t kUntrustedServer[] = L"无法验证升级服务器的证书，升级已取消！";
inline constexpr wchar_t kBadSignature[] = L"下载的文件签名无效，升级未完成！";
inline constexpr wchar_t kNotAProgram[] = L"下载的文件不是有效的程序文件，升级未完成！";
// A replay or a rollback: the signed statement names no version above the installed one.
inline constexpr wchar_t kNotNewer[] = L"服务器上的版本不高于已安装的版本，升级未完成！";
inline constexpr wchar_t kOlderVersion[] = L"下载的文件版本低于已安装的版本，升级未完成！";
inline constexpr wchar_t kAlreadyNewest[] = L"当前已是最新版本，无需升级！";
inline constexpr wchar_t kCannotReadInstalled[] = L"无法读取已安装的程序文件，升级未完成！";
inline constexpr wchar_t kInstalledSignatureInvalid[] = L"已安装程序的签名无效，升级未完成！";
inline constexpr wchar_t kConfirmExitSuffix[] = L"正在升级中，你确定要退出升级程序？";
inline constexpr wchar_t kCannotReplace[] = L"无法替换程序文件，升级未完成！";
inline constexpr wchar_t kRelaunchPrefix[] = L"程序已经升级完成，现在是否运行";
inline constexpr wchar_t kRelaunchSuffix[] = L"？";
inline constexpr wchar_t kCannotStartPrefix[] = L"无法启动";
inline constexpr wchar_t kCannotStartSuffix[] = L"！";
inline constexpr wchar_t kRolledBack[] = L"新版本无法启动，已恢复原来的版本！";
// Why the session should wait, while the product is being replaced.
inline constexpr wchar_t kUpdatingPrefix[] = L"正在升级";
inline constexpr wchar_t kUpdatingSuffix[] = L"，请稍候......";
inline constexpr wchar_t kRuntimeErrorPrefix[] = L"运行时错误：";
// Followed by the backup's full path.
inline constexpr wchar_t kRollbackFailed[] = L"新版本无法启动，原来的版本未能恢复，备份保存在：";

}  // namespace ombrix::updater::texts
