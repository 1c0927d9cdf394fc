<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>FirmwareController</name>
    <message>
        <location filename="../../maintenance/FirmwareController.cpp" line="+204"/>
        <source>Please connect OBD power</source>
        <translation>Conecte la alimentación OBD</translation>
    </message>
</context>
<context>
    <name>FirmwarePage</name>
    <message>
        <location filename="../../maintenance/FirmwarePage.cpp" line="+91"/>
        <source>Firmware update</source>
        <translation>Actualización de firmware</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>System firmware</source>
        <translation>Firmware del sistema</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Application</source>
        <translation>Aplicación</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>CAN firmware</source>
        <translation>Firmware CAN</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No system available</source>
        <translation>No hay sistema disponible</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Update all</source>
        <translation>Actualizar todo</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back</source>
        <translation>Volver</translation>
    </message>
    <message>
        <location line="+20"/>
        <location line="+14"/>
        <source>Current version: </source>
        <translation>Versión actual: </translation>
    </message>
    <message>
        <location line="-13"/>
        <location line="+14"/>
        <source>Latest version: </source>
        <translation>Última versión: </translation>
    </message>
    <message>
        <location line="-13"/>
        <location line="+14"/>
        <source>Publish date: </source>
        <translation>Fecha de publicación: </translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Congrats,it is already the latest version!</source>
        <translation>¡Enhorabuena, ya tiene la última versión!</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>New version update is available!</source>
        <translation>¡Hay una nueva versión disponible!</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>Sorry, unable to retrieve the current version information. Please try again later.</source>
        <translation>No se pudo obtener la información de la versión. Inténtelo de nuevo más tarde.</translation>
    </message>
</context>
<context>
    <name>FirmwareUpdate</name>
    <message>
        <location filename="../../maintenance/FirmwareUpdate.cpp" line="+20"/>
        <source>Updating,please wait...</source>
        <translation>Actualizando, espere...</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Download failed.Please attempt the upgrade process again.</source>
        <translation>La descarga falló. Vuelva a intentar la actualización.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Check failed.Please attempt the upgrade process again.</source>
        <translation>La comprobación falló. Vuelva a intentar la actualización.</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Upgrade process start failed.Please attempt the upgrade process again.</source>
        <translation>No se pudo iniciar la actualización. Vuelva a intentarlo.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Congrats,it is already the latest version!</source>
        <translation>¡Enhorabuena, ya tiene la última versión!</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Reconnect VCI if indicator lights stop flashing to resume update.</source>
        <translation>Vuelva a conectar el VCI si los indicadores dejan de parpadear para continuar la actualización.</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>The adapter did not come back after the update. Reconnect it, then press Update all again.</source>
        <translation>El adaptador no volvió después de la actualización. Vuelva a conectarlo y pulse de nuevo Actualizar todo.</translation>
    </message>
</context>
</TS>
