#include "fakes/ProgramFixture.h"
#include "forms/Form.h"
#include "settings/frmEstablish.h"

#include <QLineEdit>
#include <QTimer>
#include <QtTest>

namespace {

// A window with one text box and a timer, counting its loads.
class CountingForm final : public Form {
public:
    using Form::Form;
    int loads = 0;
    int ticks = 0;
    QLineEdit *text = nullptr;
    QTimer *timer = nullptr;

protected:
    QWidget *createWindow() override
    {
        auto *window = new QWidget;
        text = new QLineEdit(QStringLiteral("initial"), window);
        timer = new QTimer(window);
        connect(timer, &QTimer::timeout, this, [this] { ++ticks; });
        return window;
    }
    void Form_Load() override { ++loads; }
    void unloading() override { text = nullptr; timer = nullptr; }
};

} // namespace

class TestForms : public QObject {
    Q_OBJECT
private slots:
    void init()
    {
        p = std::make_unique<ProgramFixture>();
        app = &p->app;
    }
    void cleanup() { p.reset(); }

    void loadRunsFormLoadOnceUntilUnloaded()
    {
        CountingForm form(*app);
        QVERIFY(!form.isLoaded());
        form.Load();
        form.Load();
        QCOMPARE(form.loads, 1);
        form.text->setText(QStringLiteral("edited"));
        form.Unload();
        QVERIFY(!form.isLoaded());
        QVERIFY(form.window());
        QCOMPARE(form.loads, 2);
        QCOMPARE(form.text->text(), QStringLiteral("initial"));
    }

    void referenceLoadsHidden()
    {
        frmEstablish &settings = app->frmEstablish();
        QVERIFY(settings.isLoaded());
        QVERIFY(!settings.isVisible());
    }

    void unloadStopsTimersAtOnce()
    {
        CountingForm form(*app);
        form.Load();
        QPointer<QTimer> timer = form.timer;
        timer->start(1);
        form.Unload();
        QVERIFY(!timer || !timer->isActive());
        QCoreApplication::processEvents();
        QCOMPARE(form.ticks, 0);
    }

    void closingByFrameUnloads()
    {
        CountingForm form(*app);
        form.Show();
        QVERIFY(form.isVisible());
        form.window()->close();
        QVERIFY(!form.isLoaded());
    }

    void ownedWindowsGoWithTheirOwner()
    {
        CountingForm owner(*app), owned(*app);
        owner.Show();
        owned.Show(&owner);
        QCOMPARE(owned.owner(), &owner);
        owner.Unload();
        QVERIFY(!owned.isLoaded());
        QCOMPARE(owned.owner(), nullptr);
    }

    void programEndsWhenNoWindowIsLeftOnScreen()
    {
        CountingForm shown(*app), other(*app);
        app->frmEstablish(); // loaded hidden, as a run leaves it
        shown.Show();
        other.Show();
        other.Unload();
        QCOMPARE(p->lastWindowGone, 0);
        shown.Unload();
        QCOMPARE(p->lastWindowGone, 1);
        // A hidden window must not keep the program alive unseen.
        QVERIFY(!app->frmEstablish().isVisible());
    }

private:
    std::unique_ptr<ProgramFixture> p;
    AppContext *app = nullptr; // into p, for short
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
