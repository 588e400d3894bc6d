#pragma once
#include <QObject>
#include <QPointer>

#include <list>

class QWidget;

// The alert frames the main page window owns: deleted on request, all of them at logout, and
// forgotten when something else destroyed them first, so none is ever deleted twice.
class CAlertFrames : public QObject
{
    Q_OBJECT
public:
    CAlertFrames() = default;
    ~CAlertFrames() override;

    void Add(QWidget* pFrame);
    // Deletes a listed frame; false when it is not (or no longer) listed.
    bool Delete(QWidget* pFrame);
    void DeleteAll();
    const std::list<QPointer<QWidget>>& Frames() const { return m_listAlertFrm; }

private:
    std::list<QPointer<QWidget>> m_listAlertFrm;
};
