<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>SettingsView</name>
    <message>
        <source>SoftwareSettings</source>
        <translation>Software Settings</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Account</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>LogInRegister</source>
        <translation>Log in / Register</translation>
    </message>
    <message>
        <source>LogInRegisterTip</source>
        <translation>Sign in to your account for a better user experience</translation>
    </message>
    <message>
        <source>LoggedIn</source>
        <translation>Logged in</translation>
    </message>
    <message>
        <source>SystemLog</source>
        <translation>System Log</translation>
    </message>
    <message>
        <source>SystemLogTip</source>
        <translation>Enable system logs to assist developers in analyzing and resolving issues quickly</translation>
    </message>
    <message>
        <source>AutoStart</source>
        <translation>Automatic Startup</translation>
    </message>
    <message>
        <source>AutoStartTip</source>
        <translation>The software will launch automatically upon computer boot-up</translation>
    </message>
    <message>
        <source>CheckUpdate</source>
        <translation>Check Update</translation>
    </message>
    <message>
        <source>CheckUpdateTip</source>
        <translation>Automatically detect and upgrade the management tool&apos;s program version</translation>
    </message>
    <message>
        <source>NewVersion</source>
        <translation>New</translation>
    </message>
    <message>
        <source>SwitchLanguage</source>
        <translation>Switch Language</translation>
    </message>
    <message>
        <source>SwitchLanguageTip</source>
        <translation>Change the display language of the management tool</translation>
    </message>
    <message>
        <source>EnetSimulate</source>
        <translation>ENET Emulation</translation>
    </message>
    <message>
        <source>EnetSimulateTip</source>
        <translation>Activate this feature for diagnosing specific vehicles when required</translation>
    </message>
    <message>
        <source>SupportFile</source>
        <translation>Save support file</translation>
    </message>
    <message>
        <source>SupportFileTip</source>
        <translation>Save the logs and the adapter status in one file for the support team (passwords and codes are left out)</translation>
    </message>
    <message>
        <source>%1... %2%</source>
        <comment>SupportFileProgress</comment>
        <translation>%1... %2%</translation>
    </message>
    <message>
        <source>Hint</source>
        <translation>Hint</translation>
    </message>
    <message>
        <source>LanguageChangedHint</source>
        <translation>Changing the language requires a restart of the app, click the Confirm button below to restart immediately</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirm</translation>
    </message>
</context>
<context>
    <name>SettingsController</name>
    <message>
        <source>Save support file</source>
        <translation>Save support file</translation>
    </message>
    <message>
        <source>Zip archive (*.zip)</source>
        <translation>Zip archive (*.zip)</translation>
    </message>
    <message>
        <source>Starting</source>
        <translation>Starting</translation>
    </message>
    <message>
        <source>The support file was saved as %1.</source>
        <translation>The support file was saved as %1.</translation>
    </message>
    <message>
        <source>The support file could not be started.</source>
        <translation>The support file could not be started.</translation>
    </message>
</context>
<context>
    <name>SupportBundle</name>
    <message>
        <source>No file was chosen.</source>
        <translation>No file was chosen.</translation>
    </message>
    <message>
        <source>The archive tool 7-Zip (7za) was not found, so no support file can be written.</source>
        <translation>The archive tool 7-Zip (7za) was not found, so no support file can be written.</translation>
    </message>
    <message>
        <source>The folder %1 does not exist.</source>
        <translation>The folder %1 does not exist.</translation>
    </message>
    <message>
        <source>No temporary folder could be made for the support file.</source>
        <translation>No temporary folder could be made for the support file.</translation>
    </message>
    <message>
        <source>Collecting the system report</source>
        <translation>Collecting the system report</translation>
    </message>
    <message>
        <source>The support file could not be put together (no space left?).</source>
        <translation>The support file could not be put together (no space left?).</translation>
    </message>
    <message>
        <source>Reading the adapter status</source>
        <translation>Reading the adapter status</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>Cancelled.</translation>
    </message>
    <message>
        <source>Adding log files</source>
        <translation>Adding log files</translation>
    </message>
    <message>
        <source>Writing the archive</source>
        <translation>Writing the archive</translation>
    </message>
    <message>
        <source>7-Zip did not finish the archive in time.</source>
        <translation>7-Zip did not finish the archive in time.</translation>
    </message>
    <message>
        <source>7-Zip could not write the archive (%1, code %2).</source>
        <translation>7-Zip could not write the archive (%1, code %2).</translation>
    </message>
    <message>
        <source>Moving the archive into place</source>
        <translation>Moving the archive into place</translation>
    </message>
    <message>
        <source>%1 exists and cannot be replaced.</source>
        <translation>%1 exists and cannot be replaced.</translation>
    </message>
    <message>
        <source>The archive could not be saved as %1.</source>
        <translation>The archive could not be saved as %1.</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Done</translation>
    </message>
</context>
</TS>
