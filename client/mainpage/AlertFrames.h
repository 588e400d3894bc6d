#pragma once
#include <QObject>
#include <QPointer>

#include <list>

class QWidget;

// Each alert is a framed web view: a page that sends alerts in a loop must not exhaust memory.
inline constexpr size_t kMaxOpenAlertFrames = 32;

// The alert frames the main page window owns: deleted on request, all of them at logout, and
// forgotten when something else destroyed them first, so none is ever deleted twice.
class CAlertFrames : public QObject
{
    Q_OBJECT
public:
    CAlertFrames() = default;
    ~CAlertFrames() override;

    // Lists a new frame; past kMaxOpenAlertFrames the oldest is deleted first.
    void Add(QWidget* pFrame);
    // Deletes a listed frame; false when it is not (or no longer) listed.
    bool Delete(QWidget* pFrame);
    void DeleteAll();
    const std::list<QPointer<QWidget>>& Frames() const { return m_listAlertFrm; }

private:
    std::list<QPointer<QWidget>> m_listAlertFrm;
};
