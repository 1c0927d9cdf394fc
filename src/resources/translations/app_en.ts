<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="en_US">
<context>
    <name>Kestrix</name>
    <message>
        <source>Executing</source>
        <translation>Executing...</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Version:</translation>
    </message>
    <message>
        <source>Online</source>
        <translation>Online</translation>
    </message>
    <message>
        <source>none</source>
        <translation>None</translation>
    </message>
</context>
<context>
    <name>SysTrayIconWidget</name>
    <message>
        <source>Display</source>
        <translation>Display</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Exit</translation>
    </message>
</context>
<context>
    <name>KestrixClass</name>
    <message>
        <source>Brindlewick Manager</source>
        <translation>Brindlewick Manager</translation>
    </message>
</context>
</TS>
