#include "platform/MessageBox.h"

#include <QAbstractButton>
#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

using namespace Qt::StringLiterals;

// The real boxes, measured while they are up: a box must show its whole text,
// and a short text must still leave room for the whole title.
class TestMessageBox : public QObject {
    Q_OBJECT

    struct Shown {
        int boxWidth = 0;
        int labelWidth = 0;
        int textWidth = 0;
    };

    static Shown showAndMeasure(const QString &title, const QString &text)
    {
        Shown shown;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            auto *label = box->findChild<QLabel *>(QStringLiteral("qt_msgbox_label"));
            QVERIFY(label);
            shown = { box->width(), label->width(),
                QFontMetrics(label->font()).boundingRect(QRect(), 0, label->text()).width() };
            box->accept();
        });
        messagebox::show(nullptr, title, text, messagebox::Icon::Warning);
        return shown;
    }

private Q_SLOTS:
    void longLinesAreShownWhole()
    {
        const QString text
            = QStringLiteral("The entry could not be added: the file\n/tmp/x/Ferox.ini\ncould not be "
                             "written (Permission denied).\n\nFerox.ini is always the file beside "
                             "the program, in\n/tmp/x\nIf you cannot write there, run it elsewhere.");
        const Shown shown = showAndMeasure(messagebox::programTitle(), text);
        QVERIFY2(shown.labelWidth >= shown.textWidth,
            qPrintable(
                QStringLiteral("label %1 px for text %2 px").arg(shown.labelWidth).arg(shown.textWidth)));
    }

    void shortTextLeavesRoomForTheTitle()
    {
        const Shown shown = showAndMeasure(messagebox::programTitle(), QStringLiteral("Not found"));
        QFont bold = QApplication::font();
        bold.setBold(true);
        QVERIFY(shown.boxWidth > QFontMetrics(bold).horizontalAdvance(messagebox::programTitle()) + 100);
    }

    // A question shows its answers with access keys and Cancel last; Escape
    // and Enter both answer Cancel, so a hasty key changes nothing.
    void questionAnswers_data()
    {
        QTest::addColumn<QString>("press");
        QTest::addColumn<messagebox::Answer>("expected");
        QTest::newRow("escape") << u"Escape"_s << messagebox::Answer::Cancel;
        QTest::newRow("enter") << u"Return"_s << messagebox::Answer::Cancel;
        QTest::newRow("click discard") << u"&Discard"_s << messagebox::Answer::Discard;
        QTest::newRow("click save") << u"&Save"_s << messagebox::Answer::Save;
    }
    void questionAnswers()
    {
        QFETCH(QString, press);
        QFETCH(messagebox::Answer, expected);
        QStringList captions;
        QString title;
        QTimer::singleShot(0, [&] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            title = box->windowTitle();
            for (QAbstractButton *button : box->buttons())
                captions << button->text();
            if (press == u"Escape")
                QTest::keyClick(box, Qt::Key_Escape);
            else if (press == u"Return")
                QTest::keyClick(box, Qt::Key_Return);
            else {
                for (QAbstractButton *button : box->buttons()) {
                    if (button->text() == press)
                        button->click();
                }
            }
        });
        const messagebox::Answer answer = messagebox::ask(
            nullptr, u"Save the changes?"_s, { messagebox::Answer::Save, messagebox::Answer::Discard });
        QCOMPARE(answer, expected);
        QCOMPARE(title, messagebox::programTitle());
        captions.sort();
        QCOMPARE(captions, (QStringList { u"&Cancel"_s, u"&Discard"_s, u"&Save"_s }));
    }

    // Tests answer questions through the seam, shown or recorded.
    void nextAnswersSeam()
    {
        messagebox::setNextAnswers({ messagebox::Answer::Overwrite });
        QCOMPARE(
            messagebox::ask(nullptr, u"q"_s, { messagebox::Answer::Overwrite, messagebox::Answer::Reload }),
            messagebox::Answer::Overwrite);
        messagebox::setRecording(true);
        QCOMPARE(
            messagebox::ask(nullptr, u"q"_s, { messagebox::Answer::Reload }), messagebox::Answer::Cancel);
        const QList<messagebox::Record> asked = messagebox::takeRecorded();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(asked[0].answers,
            (QList<messagebox::Answer> { messagebox::Answer::Reload, messagebox::Answer::Cancel }));
        messagebox::setRecording(false);
    }
};

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
