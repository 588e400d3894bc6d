#include "mainpage/AlertFrames.h"

#include "diag/DbgLog.h"

#include <QWidget>

CAlertFrames::~CAlertFrames()
{
    // Frames still open stay with their own owners (the process ends with them).
    m_listAlertFrm.clear();
}

void CAlertFrames::Add(QWidget* pFrame)
{
    while (m_listAlertFrm.size() >= kMaxOpenAlertFrames) {
        DBG_LOG_W(L"alert limit %d reached: the oldest alert closes",
                  static_cast<int>(kMaxOpenAlertFrames));
        QPointer<QWidget> oldest = m_listAlertFrm.front();
        m_listAlertFrm.pop_front();
        delete oldest.data();
    }
    m_listAlertFrm.push_back(pFrame);
    connect(pFrame, &QObject::destroyed, this, [this, pFrame] {
        m_listAlertFrm.remove_if([pFrame](const QPointer<QWidget>& f) {
            return f.isNull() || f.data() == pFrame;
        });
    });
}

bool CAlertFrames::Delete(QWidget* pFrame)
{
    for (auto it = m_listAlertFrm.begin(); it != m_listAlertFrm.end(); ++it) {
        if (it->data() == pFrame && pFrame != nullptr) {
            m_listAlertFrm.erase(it);
            delete pFrame;
            return true;
        }
    }
    return false;
}

void CAlertFrames::DeleteAll()
{
    std::list<QPointer<QWidget>> frames;
    frames.swap(m_listAlertFrm);
    for (const QPointer<QWidget>& frame : frames) {
        delete frame.data();  // a frame already gone is null here
    }
}
