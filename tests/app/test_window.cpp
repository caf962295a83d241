// Placeholder: these tests are being written.
#include <QtTest>

class PlaceholderTest : public QObject
{
    Q_OBJECT
  private slots:
    void placeholder() { QSKIP("not written yet"); }
};

QTEST_MAIN(PlaceholderTest)
#include "test_window.moc"
