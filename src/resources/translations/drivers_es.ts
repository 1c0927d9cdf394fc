<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>DriverCatalogue</name>
    <message>
        <location filename="../../drivers/DriverCatalogue.cpp" line="+156"/>
        <source>The server&apos;s driver list could not be read.</source>
        <translation>No se pudo leer la lista de drivers del servidor.</translation>
    </message>
</context>
<context>
    <name>DriverFiles</name>
    <message>
        <location filename="../../drivers/DriverFiles.cpp" line="+69"/>
        <source>This driver has no package to install.</source>
        <translation>Este driver no tiene un paquete que instalar.</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>The package&apos;s manifest cannot be read.</source>
        <translation>No se puede leer el manifiesto del paquete.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The archive holds the %1 package, not %2.</source>
        <translation>El archivo contiene el paquete %1, no %2.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>The driver could not be recorded in the registry.</source>
        <translation>No se pudo registrar el driver en el registro.</translation>
    </message>
</context>
<context>
    <name>HttpUtils</name>
    <message>
        <location filename="../../drivers/HttpUtils.cpp" line="+496"/>
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
