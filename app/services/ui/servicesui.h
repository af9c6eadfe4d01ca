// What the pages of the network, call and security settings share: their dialog template ids
// (texts in services-dialogs.tsv), the texts of the current language, the bold title line,
// and the shape of a page in each orientation.
#pragma once

#include <QLabel>
#include <QPointer>
#include <QString>
#include <string_view>
#include <vector>

class QDialog;
class QWidget;

namespace qvl::servicesui {

inline constexpr int kDlgNetwork = 180;
inline constexpr int kDlgSettingsSheet = 181;
inline constexpr int kDlgCallForward = 182;
inline constexpr int kDlgCallWaiting = 183;
inline constexpr int kDlgSecurity = 184;
inline constexpr int kDlgModemInfo = 185;

enum class Orientation { Portrait, Landscape };

QString Msg(int englishId);
QString DlgText(int englishDialogId, std::string_view control);
// The page's title: bold, 15 points, "Arial".
QLabel* TitleLabel(const QString& text, QWidget* parent);
// Landscape pages are wider than tall, portrait ones taller than wide.
void ShapeFor(QDialog* dialog, Orientation orientation);

// While a command of a page talks to the modem (and pumps messages, so that the window paints
// and the progress window's Cancel is seen), the page takes no second command: its buttons,
// lists, fields and tabs are disabled for the length of the scope and enabled again after.
class PageBusy {
  public:
    explicit PageBusy(QWidget* page);
    ~PageBusy();
    PageBusy(const PageBusy&) = delete;
    PageBusy& operator=(const PageBusy&) = delete;

  private:
    std::vector<QPointer<QWidget>> m_disabled;
};

}  // namespace qvl::servicesui
