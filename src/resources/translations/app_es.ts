<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>Kestrix</name>
    <message>
        <location filename="../../app/Kestrix.cpp" line="+107"/>
        <location line="+214"/>
        <source>Executing</source>
        <translation>Ejecutando...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Version:</source>
        <translation>Versión:</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Online</source>
        <translation>En línea</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>none</source>
        <translation>Ninguno</translation>
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
        <translation>Pantalla</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Exit</source>
        <translation>Salida</translation>
    </message>
</context>
</TS>
