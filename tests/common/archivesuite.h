#pragma once

// The frame of a suite of archive operations on the real engine: the engine
// loaded once, a fresh work folder and no remembered answers for each test,
// and after each, every object handed to the engine released.

#include "common/testenv.h"
#include "engine/MyCom.h"
#include "engine/streams.h"
#include "engine/zipapi.h"
#include "fileops/UserActions.h"

#include <QDir>
#include <QObject>

class ArchiveSuite : public QObject
{
    Q_OBJECT

protected slots:
    void initTestCase() { QVERIFY2(InitGetProc(), "the engine library is needed"); }
    void init()
    {
        m_work = testenv::makeDir("work");
        UserActions::reset();
    }
    void cleanup()
    {
        StreamBase::waitForFlushFinished();
        QCOMPARE(CMyUnknownImp::liveObjects(), 0);
        QDir(m_work).removeRecursively();
    }

protected:
    QString m_work;
};
