<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>CWifiPasswordInput</name>
    <message>
        <location filename="../../maintenance/CWifiPasswordInput.cpp" line="+17"/>
        <location line="+5"/>
        <source>Please enter the router password</source>
        <translation>Please enter the router password</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <source>Router password</source>
        <translation>Router password</translation>
    </message>
</context>
<context>
    <name>FirmwareController</name>
    <message>
        <location filename="../../maintenance/FirmwareController.cpp" line="+166"/>
        <source>Please connect OBD power</source>
        <translation>Please connect OBD power</translation>
    </message>
</context>
<context>
    <name>FirmwarePage</name>
    <message>
        <location filename="../../maintenance/FirmwarePage.cpp" line="+105"/>
        <source>Firmware update</source>
        <translation>Firmware update</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>System firmware</source>
        <translation>System firmware</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Application</source>
        <translation>Application</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN firmware</source>
        <translation>CAN firmware</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No system available</source>
        <translation>No system available</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Update all</source>
        <translation>Update all</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message>
        <location line="+20"/>
        <location line="+14"/>
        <location line="+48"/>
        <source>Current version: </source>
        <translation>Current version: </translation>
    </message>
    <message>
        <location line="-61"/>
        <location line="+15"/>
        <source>Latest version: </source>
        <translation>Latest version: </translation>
    </message>
    <message>
        <location line="-14"/>
        <location line="+15"/>
        <source>Publish date: </source>
        <translation>Publish date: </translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Congrats,it is already the latest version!</source>
        <translation>Congrats,it is already the latest version!</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>New version update is available!</source>
        <translation>New version update is available!</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Sorry, unable to retrieve the current version information. Please try again later.</source>
        <translation>Sorry, unable to retrieve the current version information. Please try again later.</translation>
    </message>
</context>
<context>
    <name>FirmwareUpdate</name>
    <message>
        <location filename="../../maintenance/FirmwareUpdate.cpp" line="+20"/>
        <source>Updating,please wait...</source>
        <translation>Updating,please wait...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Download failed.Please attempt the upgrade process again.</source>
        <translation>Download failed.Please attempt the upgrade process again.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Check failed.Please attempt the upgrade process again.</source>
        <translation>Check failed.Please attempt the upgrade process again.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Upgrade process start failed.Please attempt the upgrade process again.</source>
        <translation>Upgrade process start failed.Please attempt the upgrade process again.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Congrats,it is already the latest version!</source>
        <translation>Congrats,it is already the latest version!</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Reconnect VCI if indicator lights stop flashing to resume update.</source>
        <translation>Reconnect VCI if indicator lights stop flashing to resume update.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The adapter did not come back after the update. Reconnect it, then press Update all again.</source>
        <translation>The adapter did not come back after the update. Reconnect it, then press Update all again.</translation>
    </message>
</context>
<context>
    <name>RouterController</name>
    <message>
        <location filename="../../maintenance/RouterController.cpp" line="+153"/>
        <source>Connect the adapter by USB or cable to scan.</source>
        <translation>Connect the adapter by USB or cable to scan.</translation>
    </message>
    <message>
        <location line="+113"/>
        <source>Resetting, please wait...</source>
        <translation>Resetting, please wait...</translation>
    </message>
</context>
<context>
    <name>RouterItem</name>
    <message>
        <location filename="../../maintenance/RouterItem.cpp" line="+54"/>
        <source>Connect</source>
        <translation>Connect</translation>
    </message>
</context>
<context>
    <name>RouterPage</name>
    <message>
        <location filename="../../maintenance/RouterPage.cpp" line="+110"/>
        <source>Router connection</source>
        <translation>Router connection</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Current router:</source>
        <translation>Current router:</translation>
    </message>
    <message>
        <location line="+44"/>
        <source>Working with the adapter, please wait...</source>
        <translation>Working with the adapter, please wait...</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No access points. Press Refresh to scan.</source>
        <translation>No access points. Press Refresh to scan.</translation>
    </message>
    <message>
        <location line="-43"/>
        <source>Adapter Wi-Fi</source>
        <translation>Adapter Wi-Fi</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Wi-Fi name:</source>
        <translation>Wi-Fi name:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Password:</source>
        <translation>Password:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back</source>
        <translation>Back</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Modify</source>
        <translation>Modify</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Reset</source>
        <translation>Reset</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save</source>
        <translation>Save</translation>
    </message>
</context>
<context>
    <name>RouterSetup</name>
    <message>
        <location filename="../../maintenance/RouterController.cpp" line="-118"/>
        <location filename="../../maintenance/RouterSetup.cpp" line="+49"/>
        <source>No adapter is connected.</source>
        <translation>No adapter is connected.</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Execution failed</source>
        <translation>Execution failed</translation>
    </message>
    <message>
        <location line="+88"/>
        <location filename="../../maintenance/RouterSetup.cpp" line="+67"/>
        <source>Executing, please wait...</source>
        <translation>Executing, please wait...</translation>
    </message>
    <message>
        <location filename="../../maintenance/RouterSetup.cpp" line="-53"/>
        <source>The adapter does not answer.</source>
        <translation>The adapter does not answer.</translation>
    </message>
    <message>
        <location line="+81"/>
        <source>Could not join %1. Check the password.</source>
        <translation>Could not join %1. Check the password.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Joined %1</source>
        <translation>Joined %1</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>The adapter refused the reset.</source>
        <translation>The adapter refused the reset.</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>The adapter refused the new Wi-Fi settings.</source>
        <translation>The adapter refused the new Wi-Fi settings.</translation>
    </message>
    <message>
        <location line="+54"/>
        <source>The name or password is empty</source>
        <translation>The name or password is empty</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The password contains less than 8 characters</source>
        <translation>The password contains less than 8 characters</translation>
    </message>
</context>
</TS>
