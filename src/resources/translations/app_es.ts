<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>Kestrix</name>
    <message>
        <source>Executing</source>
        <translation>Ejecutando...</translation>
    </message>
    <message>
        <source>Version:</source>
        <translation>Versión:</translation>
    </message>
    <message>
        <source>Online</source>
        <translation>En línea</translation>
    </message>
    <message>
        <source>none</source>
        <translation>Ninguno</translation>
    </message>
</context>
<context>
    <name>SysTrayIconWidget</name>
    <message>
        <source>Display</source>
        <translation>Pantalla</translation>
    </message>
    <message>
        <source>Exit</source>
        <translation>Salida</translation>
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
