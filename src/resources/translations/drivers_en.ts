<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>DriverCatalogue</name>
    <message>
        <location filename="../../drivers/DriverCatalogue.cpp" line="+156"/>
        <source>The server&apos;s driver list could not be read.</source>
        <translation>The server&apos;s driver list could not be read.</translation>
    </message>
</context>
<context>
    <name>DriverDetail</name>
    <message>
        <location filename="../../drivers/DriverItem.cpp" line="+260"/>
        <source>Version</source>
        <translation>Version</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Disable</source>
        <translation>Disable</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Enable</source>
        <translation>Enable</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Uninstall</source>
        <translation>Uninstall</translation>
    </message>
</context>
<context>
    <name>DriverFiles</name>
    <message>
        <location filename="../../drivers/DriverFiles.cpp" line="+69"/>
        <source>This driver has no package to install.</source>
        <translation>This driver has no package to install.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The package&apos;s manifest cannot be read.</source>
        <translation>The package&apos;s manifest cannot be read.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The archive holds the %1 package, not %2.</source>
        <translation>The archive holds the %1 package, not %2.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>The driver could not be recorded in the registry.</source>
        <translation>The driver could not be recorded in the registry.</translation>
    </message>
</context>
<context>
    <name>DriverItem</name>
    <message>
        <location filename="../../drivers/DriverItem.cpp" line="-111"/>
        <source>Installed: %1</source>
        <translation>Installed: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Not installed</source>
        <translation>Not installed</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Newest: %1</source>
        <translation>Newest: %1</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Install</source>
        <translation>Install</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Installed</source>
        <translation>Installed</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Disabled</source>
        <translation>Disabled</translation>
    </message>
</context>
<context>
    <name>DriverOperations</name>
    <message>
        <location filename="../../drivers/DriverOperations.cpp" line="+53"/>
        <source>The downloaded package is damaged: its checksum does not match the server&apos;s.</source>
        <translation>The downloaded package is damaged: its checksum does not match the server&apos;s.</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>UnzipFileError</source>
        <translation>Unzip file failed</translation>
    </message>
    <message>
        <location line="+10"/>
        <location line="+12"/>
        <source>DriverEnableFailTip</source>
        <translation>Enable driver failed, please install the original software first</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>DriverDisableFailTip</source>
        <translation>Disable driver failed</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>UninstallFailed</source>
        <translation>Uninstall failed</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>The driver was uninstalled, but the adapter&apos;s mode could not be switched back: the driver&apos;s mode library is damaged.</source>
        <translation>The driver was uninstalled, but the adapter&apos;s mode could not be switched back: the driver&apos;s mode library is damaged.</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>The driver is installed, but J2534 applications cannot find its pass-thru library: it could not be registered.</source>
        <translation>The driver is installed, but J2534 applications cannot find its pass-thru library: it could not be registered.</translation>
    </message>
</context>
<context>
    <name>DriverView</name>
    <message>
        <location filename="../../drivers/DriverView.cpp" line="+104"/>
        <source>LocalDriver</source>
        <translation>Local Driver</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Available</source>
        <translation>Available</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Retry</source>
        <translation>Retry</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>InstallLocalDriver</source>
        <translation>Install Local Driver</translation>
    </message>
</context>
<context>
    <name>DriversController</name>
    <message>
        <location filename="../../drivers/DriversController.cpp" line="+109"/>
        <source>Connect the adapter to see the drivers the server offers.</source>
        <translation>Connect the adapter to see the drivers the server offers.</translation>
    </message>
    <message>
        <location line="+60"/>
        <source>SaveDataToFileError</source>
        <translation>Save data failed</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>DownloadFailed</source>
        <translation>Download failed</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>SelectDriverZipFile</source>
        <translation>Select driver zip file</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>UnsupportedFile</source>
        <translation>Unsupported file</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Confirm to uninstall %1 driver?</source>
        <comment>ConfirmToUninstallDriver</comment>
        <translation>Confirm to uninstall %1 driver?</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Confirm to disable %1 driver?</source>
        <comment>ConfirmToDisableDriver</comment>
        <translation>Confirm to disable %1 driver?</translation>
    </message>
    <message>
        <location line="+63"/>
        <source>Hint</source>
        <translation>Hint</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Cancel</translation>
    </message>
    <message>
        <location line="+10"/>
        <location line="+14"/>
        <source>No driver is detected:%1.Plz download.</source>
        <translation>No driver is detected:%1.Plz download.</translation>
    </message>
</context>
</TS>
