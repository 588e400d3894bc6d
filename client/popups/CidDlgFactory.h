#pragma once
#include "logic/ClientConfig.h"
#include "popups/CidWindow.h"

#include <QPointer>
#include <QWidget>

#include <memory>

// The real popups for the manager.
class CCidDlgFactory : public ICidWindowFactory
{
public:
    CCidDlgFactory(QWidget* pMainFrame, ClientConfig config);
    std::unique_ptr<ICidWindow> NewCidWindow(QWidget* pOwner, QObject* pManager) override;

private:
    QPointer<QWidget> m_pMainFrame;
    ClientConfig m_config;
};
