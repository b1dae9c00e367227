#include "MpegTsTestSupport.h"
#include "TestSupport.h"
class MpegTsFixturesTest : public QObject {
  Q_OBJECT
};
CORVANTA_TEST_CORE_MAIN(MpegTsFixturesTest)
#include "MpegTsFixturesTest.moc"
