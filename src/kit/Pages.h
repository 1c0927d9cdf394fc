// The main window's page stack, in one table: every page's index, object
// name, owning subsystem and the page its back link returns to. Indexes 0 to
// 20 are the form's pages in this order; the window appends the rest. Every
// caller names a page by its enumerator here, never by its number.
#pragma once

namespace Pages {

enum Index : int {
    Device = 0,
    Remote = 1,
    Kestrix = 2,
    FirmwareUpdate = 3,
    MoreVci = 4,
    RouterConnect = 5,
    ServiceVendor = 6,
    RemoteInfo = 7,
    UserLogin = 8,
    DetectionUpdate = 9,
    UserCenter = 10,
    ModifyName = 11,
    RetrievePassword = 12,
    RegisterAccount = 13,
    UserCenterEn = 14,
    ChangePassword = 15,
    UserLoginEn = 16,
    UserLoginPhone = 17,
    KestrixNoNet = 18,
    Diag = 19,
    P2PConn = 20,
    Settings = 21,
    Drivers = 22,
    Count
};

inline constexpr int kNone = -1;

struct Page {
    Index index;
    const char* objectName;
    const char* owner;    // the subsystem that fills the page
    int returnPage;       // where the link at the page's top leads (kNone: none there);
                          // the frame places the links back to the settings page
    bool followsRequests; // a page request of the status thread makes it current
    bool appended;        // added by the window after the form's pages
};

inline constexpr Page kTable[Count] = {
    {Device, "page_Device", "device", kNone, true, false},
    {Remote, "page_Remote", "remote", kNone, true, false},
    {Kestrix, "page_Kestrix", "diagnosis", Settings, true, false},
    {FirmwareUpdate, "page_Firmware_Update", "maintenance", kNone, true, false},
    {MoreVci, "page_More_VCI", "device", kNone, true, false},
    {RouterConnect, "page_Router_Connect", "maintenance", kNone, true, false},
    {ServiceVendor, "page_Service_Vendor", "account", Remote, true, false},
    {RemoteInfo, "page_Remote_Info", "remote", kNone, true, false},
    {UserLogin, "page_User__Login", "account", Settings, false, false},
    {DetectionUpdate, "page_Detection_Update", "update", Settings, true, false},
    {UserCenter, "page_User_Center", "account", kNone, true, false},
    {ModifyName, "page_Modify_Name", "account", Settings, true, false},
    {RetrievePassword, "page_Retrieve_Password", "account", Settings, true, false},
    {RegisterAccount, "page_Register_Account", "account", UserLoginEn, true, false},
    {UserCenterEn, "page_User_Center_En", "account", kNone, true, false},
    {ChangePassword, "page_Change_Password", "account", UserCenterEn, true, false},
    {UserLoginEn, "page_User__Login_En", "account", kNone, true, false},
    {UserLoginPhone, "page_User__Login_1", "account", kNone, true, false},
    {KestrixNoNet, "page_KestrixNoNet", "diagnosis", kNone, true, false},
    {Diag, "page_Diag", "diagnosis", kNone, false, false},
    {P2PConn, "page_P2P_Conn", "remote", kNone, true, false},
    {Settings, "SettingsView", "settings", kNone, false, true},
    {Drivers, "DriverView", "drivers", kNone, false, true},
};

// Whether a page request of the status thread moves the stack to `index`.
inline constexpr bool followsRequests(int index)
{
    return index >= 0 && index < Count && kTable[index].followsRequests;
}

} // namespace Pages
