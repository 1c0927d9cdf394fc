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
