<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>DeviceController</name>
    <message>
        <location filename="../../device/DeviceController.cpp" line="+77"/>
        <source>System initializing. If device not recognized,
        connect to 12V power and retry.</source>
        <translation>System initializing. If device not recognized,
        connect to 12V power and retry.</translation>
    </message>
    <message>
        <location line="+156"/>
        <source>Connect 12V power supply</source>
        <translation>Connect 12V power supply</translation>
    </message>
    <message>
        <location line="+55"/>
        <source>Execution failed</source>
        <translation>Execution failed</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Rebooting,please wait...</source>
        <translation>Rebooting,please wait...</translation>
    </message>
    <message>
        <location line="+1"/>
        <location line="+3"/>
        <source>Execute successfully</source>
        <translation>Execute successfully</translation>
    </message>
    <message>
        <location line="+68"/>
        <source>Please select a valid row</source>
        <translation>Please select a valid row</translation>
    </message>
</context>
<context>
    <name>DevicePage</name>
    <message>
        <location filename="../../device/DevicePage.cpp" line="+20"/>
        <location line="+42"/>
        <source>None</source>
        <translation>None</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Recovery</source>
        <translation>Recovery</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Idle</source>
        <translation>Idle</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Occupied</source>
        <translation>Occupied</translation>
    </message>
</context>
<context>
    <name>DevicePageClass</name>
    <message>
        <location filename="../../device/DevicePage.ui" line="+38"/>
        <source>Serial number:</source>
        <translation>Serial number:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Software version:</source>
        <translation>Software version:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Firmware version:</source>
        <translation>Firmware version:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Driver version:</source>
        <translation>Driver version:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Connection:</source>
        <translation>Connection:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Voltage:</source>
        <translation>Voltage:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Device status:</source>
        <translation>Device status:</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Hardware ID:</source>
        <translation>Hardware ID:</translation>
    </message>
    <message>
        <location line="+28"/>
        <source>Reboot</source>
        <translation>Reboot</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Buzzer test</source>
        <translation>Buzzer test</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Release occupation</source>
        <translation>Release occupation</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>Wi-Fi setup</source>
        <translation>Wi-Fi setup</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Firmware update</source>
        <translation>Firmware update</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>More devices</source>
        <translation>More devices</translation>
    </message>
</context>
<context>
    <name>MoreVciPageClass</name>
    <message>
        <location filename="../../device/MoreVciPage.ui" line="+14"/>
        <source>Devices on the network</source>
        <translation>Devices on the network</translation>
    </message>
    <message>
        <location line="+10"/>
        <source>Refresh</source>
        <translation>Refresh</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Select</source>
        <translation>Select</translation>
    </message>
    <message>
        <source>Back</source>
        <translation>Back</translation>
    </message>
</context>
<context>
    <name>VCIItem</name>
    <message>
        <location filename="../../device/VCIItem.cpp" line="+24"/>
        <source>Disconnect</source>
        <translation>Disconnect</translation>
    </message>
</context>
<context>
    <name>LinkDiagnosis</name>
    <message>
        <source>The Brindlewick background service is not running. Restart the manager; if this stays, reinstall it.</source>
        <translation>The Brindlewick background service is not running. Restart the manager; if this stays, reinstall it.</translation>
    </message>
    <message>
        <source>The background service runs but reports no adapter status. Restart the manager so the service starts again.</source>
        <translation>The background service runs but reports no adapter status. Restart the manager so the service starts again.</translation>
    </message>
    <message>
        <source>The computer does not see the adapter on USB. Check the USB cable, try another port and make sure the adapter has 12 V power.</source>
        <translation>The computer does not see the adapter on USB. Check the USB cable, try another port and make sure the adapter has 12 V power.</translation>
    </message>
    <message>
        <source>The adapter&apos;s USB network link is missing. Unplug the USB cable, wait five seconds and plug it in again.</source>
        <translation>The adapter&apos;s USB network link is missing. Unplug the USB cable, wait five seconds and plug it in again.</translation>
    </message>
    <message>
        <source>The adapter&apos;s network link is up but the adapter does not answer. Wait a minute for it to start, or restart it by removing its power.</source>
        <translation>The adapter&apos;s network link is up but the adapter does not answer. Wait a minute for it to start, or restart it by removing its power.</translation>
    </message>
    <message>
        <source>The driver of the adapter&apos;s USB network link is not installed. Reinstall the manager to install it.</source>
        <translation>The driver of the adapter&apos;s USB network link is not installed. Reinstall the manager to install it.</translation>
    </message>
    <message>
        <source>Every link answers: the adapter should appear within a few seconds.</source>
        <translation>Every link answers: the adapter should appear within a few seconds.</translation>
    </message>
</context>
<context>
    <name>LinkDiagnosisLabel</name>
    <message>
        <source>Checking the links to the adapter...</source>
        <translation>Checking the links to the adapter...</translation>
    </message>
    <message>
        <source>No adapter found. Why?</source>
        <translation>No adapter found. Why?</translation>
    </message>
    <message>
        <source>Why is no adapter found?</source>
        <translation>Why is no adapter found?</translation>
    </message>
    <message>
        <source>OK</source>
        <translation>OK</translation>
    </message>
</context>
</TS>
