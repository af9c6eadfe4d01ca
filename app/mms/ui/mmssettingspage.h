// The MMS settings page: the list of MMS profiles with New, Edit and Import, and whether the
// profile is chosen by the network operator (Detect Profile). The page works on its own copy
// of the profiles; only OK writes them to QVLMMSProfiles.dat, so Cancel drops every change,
// an import included.
#pragma once

#include <QDialog>
#include <vector>

#include "app/mms/mmsprofiles.h"
#include "app/sms/ui/smsuiports.h"

class QCheckBox;
class QComboBox;
class QLineEdit;

namespace qvl::mmsui {

// English dialog template ids (texts in main-dialogs.tsv and mms-dialogs.tsv).
inline constexpr int kDlgNewProfile = 150;
inline constexpr int kDlgEditProfile = 151;
inline constexpr int kDlgMmsSettings = 152;
inline constexpr int kMsgAskDropChanges = 5236;

// "MMS New Profile" / "MMS Edit Profile": the seven text fields of a profile, each held to its
// width in the profile file. OK keeps the dialog open, with a message, while the name is
// empty or the access point, log-in or DNS address could not be used.
class CQVLMmsProfileDlg : public QDialog {
    Q_OBJECT
  public:
    CQVLMmsProfileDlg(const smsui::SmsUiPorts& ports, const mms::MmsProfile& profile, bool isNew,
                      QWidget* parent = nullptr);

    // The profile with the fields as typed (blanks around them removed).
    mms::MmsProfile Profile() const;
    // The OK handler: accepts when the fields can be kept.
    bool TryAccept();

    QLineEdit* Field(int index) const { return m_fields[static_cast<std::size_t>(index)]; }
    enum FieldIndex { kName, kApn, kUser, kPassword, kDns, kGateway, kUri, kFieldCount };

  private:
    const smsui::SmsUiPorts& m_ports;
    mms::MmsProfile m_profile;
    std::vector<QLineEdit*> m_fields;
};

class CQVLMmsSettingsPage : public QDialog {
    Q_OBJECT
  public:
    CQVLMmsSettingsPage(const smsui::SmsUiPorts& ports, QWidget* parent = nullptr);

    // Reads QVLMMSProfiles.dat and the registry into the page (done by the constructor).
    void Load();
    // The buttons. Each returns true when it changed the page's profiles.
    bool NewProfile();
    bool EditProfile();
    bool ImportProfiles();
    // Imports the file at path (UTF-8) into the page's copy and tells how it went.
    bool ImportFrom(const QString& path);
    // The OK handler: the profiles to the file, the choice to the registry. False (with a
    // message) when the file could not be written; the page then stays open.
    bool Apply();
    // Cancel: asks first when the page was changed. True when the page closed.
    bool Cancel();

    const std::vector<mms::MmsProfile>& Profiles() const { return m_profiles; }
    bool Modified() const { return m_modified; }
    QComboBox* ProfileList() const { return m_list; }
    QCheckBox* Detect() const { return m_detect; }

  protected:
    void reject() override;

  private:
    void FillList(std::int32_t selectId);
    std::int32_t SelectedId() const;

    const smsui::SmsUiPorts& m_ports;
    std::vector<mms::MmsProfile> m_profiles;
    bool m_modified = false;
    QComboBox* m_list;
    QCheckBox* m_detect;
};

}  // namespace qvl::mmsui
