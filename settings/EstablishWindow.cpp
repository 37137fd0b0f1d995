#include "settings/EstablishWindow.h"

#include "forms/FormWindow.h"
#include "forms/Placement.h"
#include "runs/HistoryLog.h"
#include "settings/ClockSchedule.h"
#include "settings/SettingsFile.h"

#include <QCheckBox>
#include <QDialog>
#include <QFontDatabase>
#include <QFontInfo>
#include <QGridLayout>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTextDocument>
#include <QTimer>
#include <QVBoxLayout>

#include <algorithm>
#include <initializer_list>

namespace {

using Widgets = std::initializer_list<QWidget *>;

QLabel *label(const char *name, const QString &text, bool wrap = false)
{
    auto *result = named(new QLabel(text), name);
    result->setWordWrap(wrap);
    return result;
}

// A run of text that a wrapped line must not break, as the example time:
// word joiners between its characters, which show nothing.
QString keptTogether(const QString &text, const QString &run)
{
    QString joined = run;
    for (qsizetype i = joined.size() - 1; i > 0; --i)
        joined.insert(i, QChar(0x2060));
    return QString(text).replace(run, joined);
}

// A check box starts as the option stands when no settings file gives it.
int initialValue(const char *name)
{
    const Settings initial;
    int value = 0;
    SettingsFile::forEachField(
        initial, [&](const char *field, int check) { value = qstrcmp(field, name) == 0 ? check : value; },
        [](const char *, const QString &) {});
    return value;
}

QCheckBox *checkBox(const char *name, const QString &text)
{
    auto *box = named(new QCheckBox(text), name);
    setCheckValue(box, initialValue(name));
    // Grey comes only from the file; a user's click leaves it for good.
    QObject::connect(box, &QCheckBox::stateChanged, box, [box](int state) {
        if (state != Qt::PartiallyChecked)
            box->setTristate(false);
    });
    return box;
}

QFrame *groupFrame(const char *name)
{
    auto *frame = named(new QFrame, name);
    frame->setFrameShape(QFrame::StyledPanel);
    frame->setFrameShadow(QFrame::Sunken);
    return frame;
}

void setTextColour(QWidget *widget, QColor colour)
{
    QPalette palette = widget->palette();
    palette.setColor(QPalette::WindowText, colour);
    widget->setPalette(palette);
}

// One separate-path group: the check box above its frame, the label, the
// path box with its browse button, and the two-line note.
struct PathGroup {
    QCheckBox *check;
    QFrame *frame;
    QLabel *label;
    QLineEdit *box;
    QPushButton *browse;
    QLabel *note;
};

PathGroup pathGroup(const char *check, const QString &checkText, const char *frame,
                    const char *labelName, const QString &labelText, const char *box,
                    const char *browse, const char *note, const QString &noteText)
{
    PathGroup group{checkBox(check, checkText), groupFrame(frame), label(labelName, labelText),
                    named(new QLineEdit, box), named(new QPushButton(QStringLiteral("参照")), browse),
                    label(note, noteText, true)};
    auto *grid = new QGridLayout(group.frame);
    grid->addWidget(group.label, 0, 0, 1, 2);
    grid->addWidget(group.box, 1, 0);
    grid->addWidget(group.browse, 1, 1);
    grid->addWidget(group.note, 2, 0, 1, 2);
    grid->setColumnStretch(0, 1);
    for (QWidget *widget : Widgets{group.label, group.browse,
                            group.note})
        widget->setEnabled(false);
    setPathBoxEditable(group.box, false);
    return group;
}

QWidget *runTab(EstablishControls &c)
{
    const PathGroup source = pathGroup(
        "chkFolder1", QStringLiteral("バックアップ又は復旧元を別途に指定する"), "Frame1", "Label1",
        QStringLiteral("バックアップ又は復旧元フォルダ"), "txtFolderPath1", "cmdSun", "lblSetsumei1",
        QStringLiteral("注意：バックアップ又は復旧元を指定する場合に､パス名が､テキストボックス（入力するところ）から､はみ出ても､問題ありません。"));
    const PathGroup destination = pathGroup(
        "chkFolder2", QStringLiteral("バックアップ又は復旧先を別途に指定する"), "Frame2", "Label3",
        QStringLiteral("バックアップ又は復旧先フォルダ"), "txtFolderPath2", "cmdSun2", "lblSetsumei2",
        QStringLiteral("注意：バックアップ又は復旧先を指定する場合に､パス名が､テキストボックス（入力するところ）から､はみ出ても､問題ありません。"));
    c.chkFolder1 = source.check;
    c.Frame1 = source.frame;
    c.Label1 = source.label;
    c.txtFolderPath1 = source.box;
    c.cmdSun = source.browse;
    c.lblSetsumei1 = source.note;
    c.chkFolder2 = destination.check;
    c.Frame2 = destination.frame;
    c.Label3 = destination.label;
    c.txtFolderPath2 = destination.box;
    c.cmdSun2 = destination.browse;
    c.lblSetsumei2 = destination.note;
    c.chkEnd = checkBox("chkEnd", QStringLiteral("バックアップ又は復旧が終了したら､プログラムを終了する"));
    c.chkMsg2 = checkBox("chkMsg2", QStringLiteral("バックアップ又は復旧が終わった後に､メッセージボックスを表示する"));
    c.chkUwa = checkBox("chkUwa", QStringLiteral("上書きする"));

    auto *tab = new QWidget;
    auto *column = new QVBoxLayout(tab);
    for (QWidget *widget : Widgets{c.chkFolder1, c.Frame1,
                            c.chkFolder2, c.Frame2,
                            c.chkEnd, c.chkMsg2,
                            c.chkUwa})
        column->addWidget(widget);
    column->addStretch();
    return tab;
}

QWidget *timerTab(EstablishControls &c, QWidget *window)
{
    c.lblTime = label("lblTime", QString());
    QFont clockFont = c.lblTime->font();
    clockFont.setPointSize(12);
    c.lblTime->setFont(clockFont);
    QPalette clockColours = c.lblTime->palette();
    clockColours.setColor(QPalette::Window, Qt::black);
    clockColours.setColor(QPalette::WindowText, Qt::yellow);
    c.lblTime->setPalette(clockColours);
    c.lblTime->setAutoFillBackground(true);
    // The black box keeps the clock line's size while the clock is off, so
    // it neither shrinks to a sliver nor moves the controls below it.
    c.lblTime->setText(ClockSchedule::ClockLine(QStringLiteral("00:00:00")));
    c.lblTime->setFixedSize(c.lblTime->sizeHint());
    c.lblTime->clear();

    c.chkTime = checkBox("chkTime", QStringLiteral("タイマーを設定する"));
    c.Frame3 = groupFrame("Frame3");
    c.lblSetsumei3 = label("lblSetsumei3", QString());
    c.Label2 = label("Label2", QStringLiteral("開始時刻："));
    c.txtBackup1 = named(new QLineEdit, "txtBackup1");
    c.txtBackup2 = named(new QLineEdit, "txtBackup2");
    c.txtBackup3 = named(new QLineEdit, "txtBackup3");
    c.Label5 = label("Label5", QStringLiteral("半角文字でお願いします。"));
    setTextColour(c.Label5, Qt::red);
    c.Label4 = label("Label4",
                     keptTogether(QStringLiteral("開始時刻は､午後２時３０分に指定したい場合は､テキストボックスに（入力するところ）に、　１４：３０：００　のように入力してください。"),
                                  QStringLiteral("１４：３０：００")),
                     true);
    c.chkMsg1 = checkBox("chkMsg1", QStringLiteral("バックアップを開始する前に､メッセージボックスを表示する"));
    // The timer belongs to the window: it goes when the dialog is unloaded.
    c.trmClock = named(new QTimer(window), "trmClock");
    c.trmClock->setInterval(0);
    for (QWidget *widget : Widgets{c.Frame3, c.lblSetsumei3,
                            c.Label2, c.txtBackup1,
                            c.Label4, c.chkMsg1})
        widget->setEnabled(false);

    auto *times = new QGridLayout;
    times->addWidget(c.Label2, 0, 0);
    times->addWidget(c.txtBackup1, 0, 1);
    times->addWidget(c.txtBackup2, 1, 1);
    times->addWidget(c.txtBackup3, 2, 1);
    times->addWidget(c.Label5, 0, 2);
    times->setColumnStretch(3, 1);
    for (QLineEdit *box : {c.txtBackup1, c.txtBackup2, c.txtBackup3})
        box->setFixedWidth(box->fontMetrics().horizontalAdvance(QStringLiteral("000:00:000")) + 16);

    auto *group = new QVBoxLayout(c.Frame3);
    group->addWidget(c.lblSetsumei3);
    group->addWidget(named(etchedLine(), "Line1"));
    group->addLayout(times);
    group->addWidget(c.Label4);
    group->addWidget(named(etchedLine(), "Line4"));
    group->addWidget(c.chkMsg1);

    auto *tab = new QWidget;
    auto *column = new QVBoxLayout(tab);
    column->addWidget(c.lblTime, 0, Qt::AlignLeft);
    column->addWidget(c.chkTime);
    column->addWidget(c.Frame3);
    column->addStretch();
    return tab;
}

// A font without Japanese leaves the kana and kanji to fallback fonts, and
// the Latin letters beside them come from one font in a line with kana and
// from another in a line with kanji only: restore entries were drawn larger
// than backup entries. A Japanese sans-serif font draws every line.
void drawInOneJapaneseFont(QWidget *box)
{
    QFont font = box->font();
    if (QFontDatabase::writingSystems(QFontInfo(font).family()).contains(QFontDatabase::Japanese))
        return;
    const QStringList japanese = QFontDatabase::families(QFontDatabase::Japanese);
    const auto sans = std::find_if(japanese.cbegin(), japanese.cend(), [](const QString &family) {
        return family.contains(QLatin1String("Sans")) || family.contains(QLatin1String("Gothic"));
    });
    if (sans == japanese.cend())
        return;
    font.setFamilies({*sans});
    box->setFont(font);
}

QWidget *historyTab(EstablishControls &c)
{
    c.Label6 = label("Label6", QStringLiteral("今までの履歴"));
    QFont larger = c.Label6->font();
    larger.setPointSizeF(larger.pointSizeF() * 1.5);
    c.Label6->setFont(larger);
    c.Command1 = named(new QPushButton(QStringLiteral("履歴クリア")), "Command1");
    c.txtRireki = named(new QPlainTextEdit, "txtRireki");
    c.txtRireki->setLineWrapMode(QPlainTextEdit::NoWrap);
    drawInOneJapaneseFont(c.txtRireki);

    auto *tab = new QWidget;
    auto *column = new QVBoxLayout(tab);
    auto *top = new QHBoxLayout;
    top->addWidget(c.Label6);
    top->addStretch();
    top->addWidget(c.Command1);
    column->addLayout(top);
    column->addWidget(c.txtRireki);
    return tab;
}

} // namespace

EstablishControls buildEstablishWindow()
{
    EstablishControls c{};
    c.window = new FormWindow(QStringLiteral("frmEstablish"), QStringLiteral("詳細設定"),
                              FormWindow::Frame::Dialog);

    c.SSTab1 = named(new QTabWidget, "SSTab1");
    c.SSTab1->addTab(runTab(c), QStringLiteral("バックアップ＆復旧"));
    c.SSTab1->addTab(timerTab(c, c.window), QStringLiteral("タイマー"));
    c.SSTab1->addTab(historyTab(c), QStringLiteral("履歴"));
    c.SSTab1->setCurrentIndex(1);

    c.cmdOK = named(new QPushButton(QStringLiteral("&OK")), "cmdOK");
    c.cmdOK->setDefault(true);
    c.cmdCancel = named(new QPushButton(QStringLiteral("キャンセル(&C)")), "cmdCancel");
    c.cmdSave = named(new QPushButton(QStringLiteral("既定値に設定(&S)")), "cmdSave");
    c.cmdSave->setToolTip(QStringLiteral("今の設定状況を保存します。"));

    auto *buttons = new QHBoxLayout;
    buttons->addStretch();
    buttons->addWidget(c.cmdOK);
    buttons->addWidget(c.cmdCancel);
    buttons->addWidget(c.cmdSave);

    auto *column = new QVBoxLayout(c.window);
    column->addWidget(c.SSTab1);
    column->addLayout(buttons);
    setHistoryText(c.txtRireki, HistoryLog::Header + HistoryLog::CrLf);
    c.window->resize(c.window->sizeHint().expandedTo(QSize(600, 0)));
    return c;
}

void setPathBoxEditable(QLineEdit *box, bool editable)
{
    box->setEnabled(editable);
    QPalette palette = box->palette();
    const QPalette system = QGuiApplication::palette();
    palette.setColor(QPalette::Base, system.color(editable ? QPalette::Base : QPalette::Window));
    box->setPalette(palette);
}

int checkValue(const QCheckBox *box)
{
    switch (box->checkState()) {
    case Qt::Unchecked: return 0;
    case Qt::Checked: return 1;
    case Qt::PartiallyChecked: return 2;
    }
    return 0;
}

void setCheckValue(QCheckBox *box, int value)
{
    box->setCheckState(value == 0 ? Qt::Unchecked : value == 1 ? Qt::Checked : Qt::PartiallyChecked);
}

// The box keeps lines as paragraphs; the history text separates them by CR LF.
QString historyText(const QPlainTextEdit *box)
{
    QString text = box->document()->toRawText();
    text.replace(QChar::ParagraphSeparator, HistoryLog::CrLf);
    text.replace(QChar::LineSeparator, HistoryLog::CrLf);
    return text;
}

void setHistoryText(QPlainTextEdit *box, const QString &text)
{
    QString lines = text;
    lines.replace(HistoryLog::CrLf, QStringLiteral("\n"));
    box->setPlainText(lines);
}
