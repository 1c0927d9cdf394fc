<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Kestrix</name>
    <message>
        <location filename="../../app/Kestrix.cpp" line="+107"/>
        <location line="+214"/>
        <source>Executing</source>
        <translation>Executing...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Online</source>
        <translation>Online</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>none</source>
        <translation>None</translation>
    </message>
    <message>
        <source>Device</source>
        <translation>Device</translation>
    </message>
    <message>
        <source>Shows the connected adapter</source>
        <translation>Shows the connected adapter</translation>
    </message>
    <message>
        <source>Drivers</source>
        <translation>Drivers</translation>
    </message>
    <message>
        <source>Installs and switches the vehicle drivers</source>
        <translation>Installs and switches the vehicle drivers</translation>
    </message>
    <message>
        <source>Remote</source>
        <translation>Remote</translation>
    </message>
    <message>
        <source>Lends the adapter to a technician or reaches another</source>
        <translation>Lends the adapter to a technician or reaches another</translation>
    </message>
    <message>
        <source>Diagnosis</source>
        <translation>Diagnosis</translation>
    </message>
    <message>
        <source>Starts the diagnosis of a vehicle make</source>
        <translation>Starts the diagnosis of a vehicle make</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Settings</translation>
    </message>
    <message>
        <source>Logs, start-up, updates, language and account</source>
        <translation>Logs, start-up, updates, language and account</translation>
    </message>
    <message>
        <source>Repair data</source>
        <translation>Repair data</translation>
    </message>
    <message>
        <source>Repair information of the vehicle makes</source>
        <translation>Repair information of the vehicle makes</translation>
    </message>
    <message>
        <source>Minimise</source>
        <translation>Minimise</translation>
    </message>
    <message>
        <source>Minimises the window</source>
        <translation>Minimises the window</translation>
    </message>
    <message>
        <source>Close</source>
        <translation>Close</translation>
    </message>
    <message>
        <source>Hides the window; the program keeps running in the tray</source>
        <translation>Hides the window; the program keeps running in the tray</translation>
    </message>
    <message>
        <source>Brindlewick web site</source>
        <translation>Brindlewick web site</translation>
    </message>
    <message>
        <source>Opens the maker&apos;s web site</source>
        <translation>Opens the maker&apos;s web site</translation>
    </message>
    <message>
        <source>Back to settings</source>
        <translation>Back to settings</translation>
    </message>
</context>
<context>
    <name>KestrixClass</name>
    <message>
        <location filename="../../app/Kestrix.ui" line="+14"/>
        <location line="+207"/>
        <source>Brindlewick Manager</source>
        <translation>Brindlewick Manager</translation>
    </message>
</context>
<context>
    <name>SysTrayIconWidget</name>
    <message>
        <location filename="../../app/SysTrayIconWidget.cpp" line="+21"/>
        <source>Display</source>
        <translation>Display</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
</context>
</TS>
