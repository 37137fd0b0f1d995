#include "dialogs/frmAbout.h"

#include "core/AppInfo.h"
#include "forms/FormWindow.h"
#include "forms/Placement.h"
#include "forms/Windows.h"

#include <QLabel>
#include <QPushButton>
#include <QTextDocument>

#include <algorithm>

namespace {
const QString CrLf = QStringLiteral("\r\n");

QString versionText()
{
    return QStringLiteral("Vr. %1.%2.%3")
        .arg(AppInfo::VersionMajor)
        .arg(AppInfo::VersionMinor)
        .arg(AppInfo::VersionRevision);
}

QStringList descriptionLines()
{
    return QStringList{
        QStringLiteral("このプログラムは､"),
        QStringLiteral("バックアップ元と先のドライブそれと、バックアップ元フォルダ名を設定すれば後は、"
                       "開始をクリックするだけで、何度でもバックアップもしくは復旧をすることが出来ます。"),
        QStringLiteral("また、バックアップするフォルダが、ルート上にないときは、自分でパス名を指定できます。"),
        QStringLiteral("他にも、タイマー機能や履歴もついていますので、便利だと思います。"),
    };
}

// The description in its box with room between the lines: the largest
// font, up to the window's, at which the lines, spaced apart, still fit.
QString descriptionText(const QLabel &box)
{
    QStringList lines = descriptionLines();
    for (QString &line : lines)
        line = line.toHtmlEscaped();
    for (int pixels = FormWindow::LayoutFontPixels;; --pixels) {
        const QString text
            = QStringLiteral("<p style=\"margin:0px; font-size:%1px; line-height:%2px; -qt-line-height-type:fixed\">")
                  .arg(pixels)
                  .arg(pixels + std::max(2, pixels / 6))
              + lines.join(QStringLiteral("<br>")) + QStringLiteral("</p>");
        QTextDocument layout;
        layout.setDefaultFont(box.font());
        layout.setDocumentMargin(0);
        layout.setTextWidth(box.width());
        layout.setHtml(text);
        if (pixels <= 8 || layout.size().height() <= box.height())
            return text;
    }
}

QString disclaimerText()
{
    return QStringLiteral("このプログラムは無保証で提供されます。") + CrLf
           + QStringLiteral("使用によって生じたいかなる損害についても、作者は責任を負いません。");
}
} // namespace

// The labels Form_Load fills.
struct frmAbout::Controls {
    QLabel *lblTitle;
    QLabel *lblVersion;
    QLabel *lblDescription;
    QLabel *lblDisclaimer;
};

frmAbout::frmAbout(Windows &windows) : Form(windows) {}

frmAbout::~frmAbout() = default;

QWidget *frmAbout::createWindow()
{
    // Form_Load gives the dialog its real title.
    auto *window = new FormWindow(QStringLiteral("frmAbout"), QStringLiteral("ﾊﾞｰｼﾞｮﾝ情報"),
                                  FormWindow::Frame::FixedDialog);
    window->setFixedClientSize(twipsSize(5775, 4695));

    const auto label = [window](const char *name, const QRect &geometry) {
        auto *l = place(new QLabel(window), name, geometry);
        l->setAlignment(Qt::AlignLeft | Qt::AlignTop);
        return l;
    };
    QLabel *picIcon = label("picIcon", twips(120, 240, 540, 540));
    picIcon->setPixmap(programIcon().pixmap(32, 32));
    m_c = std::make_unique<Controls>();
    m_c->lblTitle = label("lblTitle", twips(960, 240, 3885, 240));
    m_c->lblVersion = label("lblVersion", twips(960, 480, 3885, 225));
    label("Label1", twips(960, 720, 3975, 375))->setText(QStringLiteral("Copyright (C) 2001 Tandemix"));
    m_c->lblDescription = label("lblDescription", twips(960, 1125, 4485, 1650));
    m_c->lblDescription->setWordWrap(true);
    m_c->lblDescription->setTextFormat(Qt::RichText);
    place(etchedLine(window), "Line1", twips(240, 3000, 5760 - 240, 30));
    m_c->lblDisclaimer = label("lblDisclaimer", twips(255, 3240, 3870, 1305));
    m_c->lblDisclaimer->setWordWrap(true);

    auto *cmdOK = place(new QPushButton(QStringLiteral("OK"), window), "cmdOK", twips(4245, 3225, 1380, 345));
    cmdOK->setDefault(true);
    window->setCancelButton(cmdOK);
    auto *cmdSysInfo = place(new QPushButton(QStringLiteral("ｼｽﾃﾑ情報(&S)..."), window), "cmdSysInfo",
                             twips(4260, 3675, 1380, 345));
    shrinkToFit(cmdSysInfo);
    QWidget::setTabOrder(cmdOK, cmdSysInfo);

    connect(cmdOK, &QPushButton::clicked, this, [this] { cmdOK_Click(); });
    connect(cmdSysInfo, &QPushButton::clicked, this, [this] { cmdSysInfo_Click(); });
    return window;
}

void frmAbout::unloading()
{
    m_c.reset();
}

void frmAbout::Form_Load()
{
    window()->setWindowTitle(AppInfo::Title + QStringLiteral("のﾊﾞｰｼﾞｮﾝ情報"));
    m_c->lblVersion->setText(versionText());
    m_c->lblTitle->setText(AppInfo::Title);
    m_c->lblDescription->setText(descriptionText(*m_c->lblDescription));
    m_c->lblDisclaimer->setText(disclaimerText());
}

void frmAbout::cmdOK_Click()
{
    windows().showMain();
    Unload();
}

void frmAbout::cmdSysInfo_Click()
{
    StartSysInfo();
}

void frmAbout::StartSysInfo()
{
    Platform &platform = windows().platform();
    const QString path = platform.systemInfo.find();
    if (path.isEmpty() || !platform.programs.startProgram(path))
        sysInfoUnavailable();
}

void frmAbout::sysInfoUnavailable()
{
    windows().platform().messageBoxes.MsgBox(QStringLiteral("現時点ではｼｽﾃﾑ情報を使用できません"),
                                             MsgButtons::OK, MsgIcon::None, AppInfo::Title);
}
