#pragma once

#include "build_config.h"

namespace kinolark::shell {

// What `kinolark --help` prints: the manual page in short.
inline constexpr char usageText[] =
    "用法：kinolark [选项]\n"
    "Lumovane 电影目录的桌面客户端。\n"
    "\n"
    "选项：\n"
    "  -h, --help     显示本帮助并退出\n"
    "  --version      显示版本号并退出\n"
    "\n"
    "环境变量：\n"
    "  KINOLARK_SITE  目录网站的地址，代替内置的 " KINOLARK_SITE_URL "\n"
    "\n"
    "同一个数据文件夹只运行一个程序：再次启动时，已经打开的窗口会来到最前面。\n"
    "详细说明见 man kinolark。\n";

} // namespace kinolark::shell
