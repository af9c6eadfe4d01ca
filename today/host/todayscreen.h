// Our Today screen (qvl-today): a small panel that shows the Today items the registry lists, and
// a tray icon with the phone's new-message count. The items are libraries loaded by name and
// initialised through their entry, as the handheld's Today screen did; the screen reads them
// again when the suite broadcasts the Today refresh request (the setup library does, after an
// install and before a removal).
#pragma once

#include <QSystemTrayIcon>
#include <QWidget>

#include <memory>
#include <string>
#include <vector>

#include "today/itemloader.h"

class QMenu;

namespace qvl::today {

class TodayScreen final : public QWidget {
    Q_OBJECT
  public:
    // programDir: where relative item libraries are looked for. withTray: show the tray icon
    // (when the desktop has a tray).
    TodayScreen(std::string programDir, bool withTray);
    ~TodayScreen() override;

    // Loads the enabled and disabled items the registry lists (a disabled one makes no window).
    void LoadItems();
    // Destroys the items' windows, then closes their libraries.
    void UnloadItems();
    // Unload and load again (after the event that asked for it has been handled).
    void ReloadItems();

    int ItemCount() const { return static_cast<int>(m_items.size()); }
    QWidget* ItemWindow(int i) const;
    // What loading met: one line per item that could not be shown.
    const std::vector<std::string>& Problems() const { return m_problems; }
    // The last count and line an item reported, as the tray shows them.
    int TrayCount() const { return m_count; }
    QString TrayText() const { return m_text; }
    QSystemTrayIcon* Tray() const { return m_tray.get(); }
    int Loads() const { return m_loads; }
    // The tray's click: a tap on the item that reported the count (else the first item).
    void TapReportingItem();

    static QIcon TrayIcon(int count);

  public slots:
    void OnSettingChange(uint wParam);

  protected:
    bool event(QEvent* event) override;
    void paintEvent(QPaintEvent* event) override;

  private:
    struct Item {
        std::unique_ptr<LoadedItem> library;
        QWidget* window = nullptr;
    };
    void Layout();

    std::string m_programDir;
    std::vector<Item> m_items;
    std::vector<std::string> m_problems;
    std::unique_ptr<QSystemTrayIcon> m_tray;
    std::unique_ptr<QMenu> m_menu;
    QWidget* m_reporter = nullptr;
    QString m_text;
    int m_count = 0;
    int m_loads = 0;
    bool m_reloadQueued = false;
};

}  // namespace qvl::today
