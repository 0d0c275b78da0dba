// Menus, toolbar and strings of the program.
#include "app/resources.h"

#include <QStringList>

#include "app/command_ids.h"

namespace tovra::res {
namespace {

MenuItem Item(int id, const char* caption, bool grayed = false) {
    return MenuItem{id, QString::fromUtf8(caption), {}, grayed};
}
MenuItem Separator() { return MenuItem{}; }
MenuItem Popup(const char* caption, std::vector<MenuItem> items) {
    return MenuItem{0, QString::fromUtf8(caption), std::move(items), false};
}

const char* const kColourCaptions[16] = {"黑色", "白色",   "灰色",   "银色", "暗红色", "红色", "橄榄色", "黄色",
                                         "绿色", "浅绿色", "深青色", "浅蓝", "深蓝色", "蓝色", "紫色",   "紫红色"};

std::vector<MenuItem> ColourItems() {
    std::vector<MenuItem> items;
    for (int i = 0; i < 16; ++i) items.push_back(Item(cmd::kPenColourFirst + i, kColourCaptions[i]));
    return items;
}

std::vector<MenuItem> VideoSourcePlaceholders() {
    std::vector<MenuItem> items;
    for (int id = cmd::kVideoSourceFirst; id <= cmd::kVideoSourceLast; ++id) {
        items.push_back(MenuItem{id, QStringLiteral("视频设备 %1").arg(id - cmd::kVideoSourceFirst + 1), {}, false});
    }
    return items;
}

std::vector<MenuItem> MakeMainMenu() {
    return {
        Popup("文件(&F)", {Item(cmd::kFileNew, "新建(&N)\tCtrl+N"), Item(cmd::kFileOpen, "打开(&O)...\tCtrl+O"),
                           Item(cmd::kFileSave, "保存(&S)\tCtrl+S"), Separator(),
                           Popup("导出(&E)", {Item(cmd::kExportScorm, "学习平台课件包（SCORM 1.2）(&S)..."),
                                                Item(cmd::kExportVideo, "讲课视频（MP4）(&V)...")}), Separator(),
                           Item(cmd::kFileMruFirst, "最近文件", true), Separator(), Item(cmd::kAppExit, "退出(&X)")}),
        Popup("编辑(&E)", {Popup("视频源(&S)", VideoSourcePlaceholders()), Item(cmd::kVideoFormat, "视频格式"),
                           Item(cmd::kSetBandwidth, "设置带宽(&B)"), Separator(), Item(cmd::kSetTitle, "设置标题(&T)"),
                           Item(cmd::kEditHtml, "编辑HTML文档")}),
        Popup("查看(&V)",
              {Item(cmd::kViewToolbar, "工具栏(&T)"), Item(cmd::kViewStatusBar, "状态栏(&S)"), Separator(),
               Item(cmd::kBrowse, "浏览(&W)"),
               Popup("Language", {Item(cmd::kLanguageChinese, "中文"), Item(cmd::kLanguageEnglish, "Englisth")}),
               // After the language submenu, which the language files find at position 4.
               Separator(), Item(cmd::kShowMode, "放映(&S)\tF5")}),
        Popup("帮助(&H)", {Item(cmd::kAppAbout, "关于 TovraEditor&A)...")}),
    };
}

std::vector<MenuItem> MakeContextMenu() {
    return {
        // 0: the course view. The colour submenu stands at position 6.
        Popup("view", {Item(cmd::kPrevPage, "上一页(&P)"), Item(cmd::kNextPage, "下一页(&N)"), Separator(),
                       Item(cmd::kEndShow, "结束放映(&E)"), Separator(), Item(cmd::kPen, "画笔(&D)"),
                       Popup("画笔颜色(&C)", ColourItems())}),
        // 1: kept so the page tree's popup keeps its place; nothing shows it.
        Popup("unused", {}),
        // 2: the page tree.
        Popup("tree", {Item(cmd::kAddPage, "添加页(&A)"), Item(cmd::kDeletePage, "删除页(&D)")}),
    };
}

std::vector<ToolbarButton> MakeToolbar() {
    std::vector<ToolbarButton> buttons = {
        {cmd::kFileNew, QStringLiteral("新建课程")},
        {cmd::kFileOpen, QStringLiteral("打开")},
        {cmd::kFileSave, QStringLiteral("保存编辑的页面")},
        {cmd::kEditHtml, QStringLiteral("编辑HTML文档")},
        {0, {}},
        {cmd::kPrevPage, QStringLiteral("上一页")},
        {cmd::kNextPage, QStringLiteral("下一页")},
        {0, {}},
        {cmd::kRecordStart, QStringLiteral("开始录制")},
        {cmd::kRecordPause, QStringLiteral("暂停录制")},
        {cmd::kRecordStop, QStringLiteral("停止录制")},
        {0, {}},
        {cmd::kPen, QStringLiteral("画笔")},
    };
    for (int i = 0; i < 16; ++i) {
        buttons.push_back({cmd::kPenColourFirst + i, QString::fromUtf8(kColourCaptions[i])});
    }
    buttons.push_back({0, {}});
    buttons.push_back({cmd::kAppAbout, QStringLiteral("关于")});
    return buttons;
}

}  // namespace

const std::vector<MenuItem>& Menu(int resourceId) {
    static const std::vector<MenuItem> mainMenu = MakeMainMenu();
    static const std::vector<MenuItem> contextMenu = MakeContextMenu();
    static const std::vector<MenuItem> none;
    if (resourceId == kMainMenu) return mainMenu;
    if (resourceId == kContextMenu) return contextMenu;
    return none;
}

const std::vector<ToolbarButton>& Toolbar() {
    static const std::vector<ToolbarButton> toolbar = MakeToolbar();
    return toolbar;
}

QString String(int id) {
    switch (id) {
        case kAppName:
            return QStringLiteral("Tovra Editor");
        case kIdleMessage:
            return QStringLiteral("就绪");
        case kTimePaneText:
            return QStringLiteral("REC");
        case kDocTemplate:
            return QStringLiteral(
                "Tovra editor\n\nTovra editor\nlsn File(*.lsn)\n.lsn\nTovra.Document\nTovra Document");
        default:
            return QString();
    }
}

QString DocTemplateField(int index) { return String(kDocTemplate).split(QLatin1Char('\n')).value(index); }

}  // namespace tovra::res
