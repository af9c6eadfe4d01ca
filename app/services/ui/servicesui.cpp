#include "app/services/ui/servicesui.h"

#include <QAbstractButton>
#include <QAbstractItemView>
#include <QComboBox>
#include <QDialog>
#include <QFont>
#include <QLineEdit>
#include <QTabBar>

#include "common/lang/lang.h"

namespace qvl::servicesui {

QString Msg(int englishId) {
    return QString::fromStdU16String(LoadLocalString(englishId));
}

QString DlgText(int englishDialogId, std::string_view control) {
    return QString::fromStdU16String(LoadDialogText(englishDialogId, control));
}

QLabel* TitleLabel(const QString& text, QWidget* parent) {
    auto* title = new QLabel(text, parent);
    title->setObjectName(QStringLiteral("title"));
    QFont font(QStringLiteral("Arial"));
    font.setPointSize(15);
    font.setBold(true);
    title->setFont(font);
    title->setWordWrap(true);
    return title;
}

void ShapeFor(QDialog* dialog, Orientation orientation) {
    dialog->resize(orientation == Orientation::Landscape ? QSize(320, 240) : QSize(240, 320));
}

PageBusy::PageBusy(QWidget* page) {
    for (QWidget* child : page->findChildren<QWidget*>()) {
        const bool control = qobject_cast<QAbstractButton*>(child) != nullptr ||
                             qobject_cast<QAbstractItemView*>(child) != nullptr ||
                             qobject_cast<QComboBox*>(child) != nullptr ||
                             qobject_cast<QLineEdit*>(child) != nullptr ||
                             qobject_cast<QTabBar*>(child) != nullptr;
        if (control && child->isEnabled()) {
            child->setEnabled(false);
            m_disabled.emplace_back(child);
        }
    }
}

PageBusy::~PageBusy() {
    for (const QPointer<QWidget>& child : m_disabled) {
        if (child != nullptr) {
            child->setEnabled(true);
        }
    }
}

}  // namespace qvl::servicesui
