// Every registry key and value the suite reads or writes, in one place, with the value each
// reader assumes when it is missing. Paths and names are exact: other programs of the suite
// and users' exported .reg files use the same spelling.
#pragma once

#include <cstdint>

namespace qvl::keys {

// --- HKEY_CURRENT_USER: the language chosen at installation -------------------------------
inline constexpr char16_t kKeyInstaller[] = u"Software\\Quorvel\\Installer";
inline constexpr char16_t kValueLanguageId[] = u"LanguageID";  // number 1-5

// --- HKEY_LOCAL_MACHINE: install keys (strings of at most 260 characters) ------------------
inline constexpr char16_t kValueInstallDir[] = u"InstallDir";
inline constexpr char16_t kValueInstlDir[] = u"InstlDir";
inline constexpr char16_t kKeyAppsMobileInternet[] = u"SOFTWARE\\Apps\\Quorvel Mobile Internet";
inline constexpr char16_t kKeyAppsSmsPhone[] = u"SOFTWARE\\Apps\\Quorvel SMS Phone";
inline constexpr char16_t kKeyAppsTavixPhone[] = u"SOFTWARE\\Apps\\ZRB Tavix Phone";
inline constexpr char16_t kKeyAppsTavixPhoneOther[] = u"SOFTWARE\\Apps\\Halmer Tavix Phone";
inline constexpr char16_t kKeyAppsQvlPhone[] = u"SOFTWARE\\Apps\\Quorvel QVL Phone";
// Executable names appended to the install folder (Linux programs carry no ".exe").
inline constexpr char16_t kProgramSmsPhone[] = u"Parlino";
inline constexpr char16_t kProgramTavixPhone[] = u"TavixPhone";
inline constexpr char16_t kProgramQvlPhone[] = u"QVLPhone";

// --- HKEY_LOCAL_MACHINE: the main program ---------------------------------------------------
inline constexpr char16_t kKeyDialer[] = u"SOFTWARE\\Quorvel\\Dialer";
inline constexpr char16_t kValueNumber[] = u"Number";            // string, from the Contacts plug-in
inline constexpr char16_t kValueMmsImported[] = u"MMSImported";  // number
inline constexpr std::uint32_t kDefaultMmsImported = 0;

inline constexpr char16_t kKeyMms[] = u"SOFTWARE\\Quorvel\\Dialer\\MMS";
inline constexpr char16_t kValueDetectProfile[] = u"DetectProfile";
inline constexpr std::uint32_t kDefaultDetectProfile = 1;
inline constexpr char16_t kValueSelectedProfileId[] = u"SelectedProfileID";
inline constexpr std::uint32_t kDefaultSelectedProfileId = 0;
inline constexpr char16_t kMmsImportFile[] = u"\\My Documents\\mms.mmp";

inline constexpr char16_t kKeySmsSettings[] = u"SOFTWARE\\Quorvel\\Dialer\\SMS";
inline constexpr char16_t kValueVoiceMailNo[] = u"VoiceMailNo";  // string
inline constexpr char16_t kValueSendAs[] = u"SendAs";
inline constexpr char16_t kValueSendUsing[] = u"SendUsing";
inline constexpr char16_t kValueDeleteSms[] = u"DeleteSMS";
inline constexpr char16_t kValueValidityPeriod[] = u"ValidityPeriod";
inline constexpr char16_t kValueStatusReport[] = u"StatusReport";
inline constexpr char16_t kValueLongSmsReference[] = u"LongSMSReference";
// 9999 marks "never chosen"; the send path treats it as 0.
inline constexpr std::uint32_t kNotChosen = 9999;
inline constexpr std::uint32_t kDefaultSendAs = kNotChosen;
inline constexpr std::uint32_t kDefaultSendUsing = kNotChosen;
inline constexpr std::uint32_t kDefaultDeleteSms = 0;
inline constexpr std::uint32_t kDefaultValidityPeriod = 0xA8;  // two days, GSM 03.40 relative
inline constexpr std::uint32_t kDefaultStatusReport = 0;
inline constexpr std::uint32_t kDefaultLongSmsReference = 1;
// The voice-mail number is read into a buffer of 260 octets, that is 130 UTF-16 units.
inline constexpr unsigned kVoiceMailNoChars = 130;

inline constexpr char16_t kKeyRinger[] = u"SOFTWARE\\Quorvel\\Dialer\\Settings\\Ringer";
inline constexpr char16_t kValueVoiceRing[] = u"VoiceRing";  // bare file name from \windows
inline constexpr char16_t kValueSmsRing[] = u"SMSRing";
inline constexpr char16_t kRingFilePattern[] = u"\\windows\\*.wav";

inline constexpr char16_t kKeySkin[] = u"SOFTWARE\\Quorvel\\Dialer\\Settings\\Skin";
inline constexpr char16_t kValueSkinImage[] = u"SkinImage";  // full device path
inline constexpr char16_t kValueSkinImage270[] = u"SkinImage270";
inline constexpr char16_t kDefaultSkinImage[] = u"\\My Documents\\bmp_files\\dialer.bmp";
inline constexpr char16_t kDefaultSkinImage270[] = u"\\My Documents\\bmp_files\\dialer270.bmp";

// Speed dial: the used slots are written first, then the values of the others removed (see
// app/contacts/speeddial.h). Slot values are named with the category (0-2) and button (0-4);
// see SpeedDialValueName in settings.h.
inline constexpr char16_t kKeySpeedDial[] = u"SOFTWARE\\Quorvel\\Dialer\\SpeedDial";
inline constexpr char kSpeedDialNameFormat[] = "Category%dButton%dName";
inline constexpr char kSpeedDialNumberFormat[] = "Category%dButton%dNumber";
inline constexpr int kSpeedDialCategories = 3;
inline constexpr int kSpeedDialButtons = 5;

// The Contacts folder (a vCard directory); missing or empty: "<device root>/Contacts".
inline constexpr char16_t kKeyContacts[] = u"SOFTWARE\\Quorvel\\Dialer\\Settings\\Contacts";
inline constexpr char16_t kValueContactsFolder[] = u"Folder";  // string, a path of this machine

// --- HKEY_LOCAL_MACHINE: the dial-up connection library -------------------------------------
// Written with the leading backslash, as that library always has.
inline constexpr char16_t kKeyConnMgr[] = u"\\Software\\Quorvel\\ConnMgr";
inline constexpr char16_t kValuePinNumber[] = u"PINNumber";
inline constexpr char16_t kValueLongInitString[] = u"LongInitString";
inline constexpr char16_t kKeyUnimodemInit[] = u"Drivers\\Unimodem\\Init";  // values "1".."5"
// HKEY_CURRENT_USER dialing locations.
inline constexpr char16_t kKeyDialLocations[] = u"ControlPanel\\Dial";
inline constexpr char16_t kSubKeyLocations[] = u"Locations";
inline constexpr char16_t kValueHighLocId[] = u"HighLocID";

// --- HKEY_LOCAL_MACHINE: modem ports ----------------------------------------------------------
inline constexpr char16_t kKeyExtModems[] = u"ExtModems";  // persistent, user or simulator
inline constexpr char16_t kValuePort[] = u"Port";
inline constexpr char16_t kValueFriendlyName[] = u"FriendlyName";
inline constexpr char16_t kValueDeviceType[] = u"DeviceType";
inline constexpr char16_t kKeyDriversActive[] = u"Drivers\\Active";  // volatile overlay
inline constexpr char16_t kKeyDriversBuiltIn[] = u"Drivers\\BuiltIn";
inline constexpr char16_t kValueName[] = u"Name";
inline constexpr char16_t kValuePnpId[] = u"PnpId";
inline constexpr char16_t kValueKey[] = u"Key";

// --- HKEY_LOCAL_MACHINE: the Today screen item, removed by the setup library ----------------
inline constexpr char16_t kKeyTodayItem[] = u"SOFTWARE\\Microsoft\\Today\\Items\\Quorvel SMS Phone";

}  // namespace qvl::keys
