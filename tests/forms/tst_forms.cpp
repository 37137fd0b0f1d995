#include "core/RunGate.h"
#include "forms/Form.h"
#include "forms/Windows.h"

#include <QLineEdit>
#include <QTimer>
#include <QtTest>

#include <stdexcept>

namespace {

// The program as its forms see it: records what they tell it, lends no service.
class FakeWindows final : public Windows {
public:
    Platform &platform() override { throw std::logic_error("a form asked for a service"); }
    void registerForm(Form *form) override { forms.append(form); }
    void unregisterForm(Form *form) override { forms.removeOne(form); }
    void formUnloaded(Form &form) override { unloaded.append(&form); }
    void showMain() override {}
    void showSettings(Form *) override {}
    void showPicker(Side, Form *) override {}
    void showAbout() override {}
    void pathPicked(Side, const QString &) override {}
    void runSelectedPage() override {}
    RunGate &runGate() override { return m_gate; }

    QList<Form *> forms;    // registered now
    QList<Form *> unloaded; // every unload reported, in order
private:
    RunGate m_gate;
};

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
    void init() { app = std::make_unique<FakeWindows>(); }
    void cleanup() { QVERIFY(app->forms.isEmpty()); } // each test's forms unregistered

    void loadRunsFormLoadOnceUntilUnloaded()
    {
        CountingForm form(*app);
        QCOMPARE(app->forms, QList<Form *>{&form});
        QVERIFY(!form.isLoaded());
        form.Unload(); // nothing to unload, nothing reported
        form.Load();
        form.Load();
        QCOMPARE(form.loads, 1);
        form.text->setText(QStringLiteral("edited"));
        form.Unload();
        QVERIFY(!form.isLoaded());
        QCOMPARE(app->unloaded, QList<Form *>{&form});
        QVERIFY(form.window());
        QCOMPARE(form.loads, 2);
        QCOMPARE(form.text->text(), QStringLiteral("initial"));
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
        QCOMPARE(app->unloaded, (QList<Form *>{&owned, &owner}));
    }

private:
    std::unique_ptr<FakeWindows> app;
};

QTEST_MAIN(TestForms)
#include "tst_forms.moc"
