#include "MpegTsTestSupport.h"
#include "TestSupport.h"
class MpegTsFuzzTest : public QObject {
  Q_OBJECT
};
CORVANTA_TEST_CORE_MAIN(MpegTsFuzzTest)
#include "MpegTsFuzzTest.moc"
