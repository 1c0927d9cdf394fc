<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>GUI_Upgrade</name>
    <message>
        <location filename="../../update/GUI_Upgrade.cpp" line="+44"/>
        <source>Total</source>
        <translation>Total</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Downloaded</source>
        <translation>Downloaded</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Please wait</source>
        <translation>Please wait</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Ready to download the new program</source>
        <translation>Ready to download the new program</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Downloading a new version of the program</source>
        <translation>Downloading a new version of the program</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>File download failure</source>
        <translation>File download failure</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Preparing for installation</source>
        <translation>Preparing for installation</translation>
    </message>
    <message>
        <location line="+45"/>
        <source>Extract zip file failed</source>
        <translation>Extract zip file failed</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Installing the new version; the program restarts when it is done</source>
        <translation>Installing the new version; the program restarts when it is done</translation>
    </message>
</context>
<context>
    <name>HttpServer</name>
    <message>
        <location filename="../../update/HttpServer.cpp" line="+29"/>
        <location line="+34"/>
        <source>Server response failure</source>
        <translation>Server response failure</translation>
    </message>
    <message>
        <location line="-1"/>
        <source>Unable to write to file</source>
        <translation>Unable to write to file</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>File verification failure</source>
        <translation>File verification failure</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Download successful</source>
        <translation>Download successful</translation>
    </message>
</context>
<context>
    <name>ReleaseCheck</name>
    <message>
        <location filename="../../update/ReleaseManifest.cpp" line="+122"/>
        <source>The update package is damaged or not from the maker; nothing was installed.</source>
        <translation>The update package is damaged or not from the maker; nothing was installed.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>The update package is not signed; nothing was installed.</source>
        <translation>The update package is not signed; nothing was installed.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>The update package&apos;s signature is not valid; nothing was installed.</source>
        <translation>The update package&apos;s signature is not valid; nothing was installed.</translation>
    </message>
</context>
<context>
    <name>ReleaseInstaller</name>
    <message>
        <location filename="../../update/ReleaseInstaller.cpp" line="+73"/>
        <source>Extract zip file failed</source>
        <translation>Extract zip file failed</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Copy upgrade file failed</source>
        <translation>Copy upgrade file failed</translation>
    </message>
    <message>
        <location line="+21"/>
        <location line="+6"/>
        <location line="+8"/>
        <source>Start upgrade process failed</source>
        <translation>Start upgrade process failed</translation>
    </message>
    <message>
        <location line="-2"/>
        <source>The program folder %1 cannot be written. Run the update as a user who may change it.</source>
        <translation>The program folder %1 cannot be written. Run the update as a user who may change it.</translation>
    </message>
    <message>
        <source>The release %1 is not newer than the installed version %2.</source>
        <translation>The release %1 is not newer than the installed version %2.</translation>
    </message>
</context>
<context>
    <name>UpdatePage</name>
    <message>
        <source>Back to settings</source>
        <translation>Back to settings</translation>
    </message>
    <message>
        <location filename="../../update/UpdatePage.cpp" line="+85"/>
        <source>Software update</source>
        <translation>Software update</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Current version: %1</source>
        <translation>Current version: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Update</source>
        <translation>Update</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Looking for a newer version...</source>
        <translation>Looking for a newer version...</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>New version available: %1</source>
        <translation>New version available: %1</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>You have the latest version.</source>
        <translation>You have the latest version.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>The update server could not be reached. Try again later.</source>
        <translation>The update server could not be reached. Try again later.</translation>
    </message>
</context>
</TS>
