#include "platform/MessageBox.h"

#include <QApplication>
#include <QFontMetrics>
#include <QLabel>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

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
};

QTEST_MAIN(TestMessageBox)
#include "test_messagebox.moc"
