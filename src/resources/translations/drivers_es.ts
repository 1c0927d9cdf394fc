<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>HttpUtils</name>
    <message>
        <location filename="../../drivers/HttpUtils.cpp" line="+248"/>
        <source>UnknownError</source>
        <translation>Error desconocido</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>CannotConnectServerRetryTip</source>
        <translation>No se puede conectar con el servidor, compruebe la conexión de red</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>ServerError</source>
        <translation>Error del servidor</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>RequestFailedRetryTip</source>
        <translation>La solicitud ha fallado, inténtelo de nuevo más tarde</translation>
    </message>
</context>
</TS>
