<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>FirmwareController</name>
    <message>
        <location filename="../../maintenance/FirmwareController.cpp" line="+204"/>
        <source>Please connect OBD power</source>
        <translation>Please connect OBD power</translation>
    </message>
</context>
<context>
    <name>FirmwarePage</name>
    <message>
        <location filename="../../maintenance/FirmwarePage.cpp" line="+91"/>
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
        <source>Current version: </source>
        <translation>Current version: </translation>
    </message>
    <message>
        <location line="-13"/>
        <location line="+14"/>
        <source>Latest version: </source>
        <translation>Latest version: </translation>
    </message>
    <message>
        <location line="-13"/>
        <location line="+14"/>
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
</TS>
