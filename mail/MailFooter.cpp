#include "MailFooter.h"

namespace murmel {

const std::vector<std::string>& MailFooterLines() {
    static const std::vector<std::string> lines = {
        std::string(61, '='),
        "这是一封语音邮件,主要的内容在邮件的附件中",
        std::string("您可能需要下载 ") + kDownloadPage + " 本软件才能播放",
        std::string(27, '=') + "广告信息" + std::string(25, '='),
        "推荐使用 Murmelplay 语音邮件播放器:",
        "1. 双击 .mvm 语音邮件即可打开,语音和背景音乐同步播放",
        "2. 按录音时的记录自动调节背景音乐的音量",
        "3. 显示播放时间和进度,播放完自动清理临时文件",
        "4. 免费使用,不需要安装其他播放软件",
        std::string("下载地址: ") + kPlayerDownloadPage,
        std::string(8, '=') + "每日数千次宣传,广告联系" + std::string(kContactAddress) +
            std::string(10, '='),
    };
    return lines;
}

}  // namespace murmel
