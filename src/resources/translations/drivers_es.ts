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
    <name>DriverDetail</name>
    <message>
        <location filename="../../drivers/DriverItem.cpp" line="+260"/>
        <source>Version</source>
        <translation>Versión</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Disable</source>
        <translation>Desactivar</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Enable</source>
        <translation>Activar</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Uninstall</source>
        <translation>Desinstalar</translation>
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
    <name>DriverItem</name>
    <message>
        <location filename="../../drivers/DriverItem.cpp" line="-111"/>
        <source>Installed: %1</source>
        <translation>Instalado: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Not installed</source>
        <translation>No instalado</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Newest: %1</source>
        <translation>Más reciente: %1</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Install</source>
        <translation>Instalar</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Update</source>
        <translation>Actualizar</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Installed</source>
        <translation>Instalado</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Disabled</source>
        <translation>Desactivado</translation>
    </message>
</context>
<context>
    <name>DriverOperations</name>
    <message>
        <location filename="../../drivers/DriverOperations.cpp" line="+53"/>
        <source>The downloaded package is damaged: its checksum does not match the server&apos;s.</source>
        <translation>El paquete descargado está dañado: su suma de comprobación no coincide con la del servidor.</translation>
    </message>
    <message>
        <location line="+24"/>
        <source>UnzipFileError</source>
        <translation>No se pudo descomprimir el archivo</translation>
    </message>
    <message>
        <location line="+10"/>
        <location line="+12"/>
        <source>DriverEnableFailTip</source>
        <translation>No se pudo activar el driver; instale primero el software original</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>DriverDisableFailTip</source>
        <translation>No se pudo desactivar el driver</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>UninstallFailed</source>
        <translation>No se pudo desinstalar</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>The driver was uninstalled, but the adapter&apos;s mode could not be switched back: the driver&apos;s mode library is damaged.</source>
        <translation>El driver se desinstaló, pero no se pudo devolver el adaptador a su modo: la biblioteca de modo del driver está dañada.</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>The driver is installed, but J2534 applications cannot find its pass-thru library: it could not be registered.</source>
        <translation>El controlador está instalado, pero las aplicaciones J2534 no encuentran su biblioteca pass-thru: no se pudo registrar.</translation>
    </message>
</context>
<context>
    <name>DriverView</name>
    <message>
        <location filename="../../drivers/DriverView.cpp" line="+104"/>
        <source>LocalDriver</source>
        <translation>Drivers locales</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Available</source>
        <translation>Disponibles</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Retry</source>
        <translation>Reintentar</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>InstallLocalDriver</source>
        <translation>Instalar driver local</translation>
    </message>
</context>
<context>
    <name>DriversController</name>
    <message>
        <location filename="../../drivers/DriversController.cpp" line="+109"/>
        <source>Connect the adapter to see the drivers the server offers.</source>
        <translation>Conecte el adaptador para ver los drivers que ofrece el servidor.</translation>
    </message>
    <message>
        <location line="+60"/>
        <source>SaveDataToFileError</source>
        <translation>No se pudieron guardar los datos</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>DownloadFailed</source>
        <translation>Error en la descarga</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>SelectDriverZipFile</source>
        <translation>Seleccione el archivo zip del driver</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>UnsupportedFile</source>
        <translation>Archivo no compatible</translation>
    </message>
    <message>
        <location line="+14"/>
        <source>Confirm to uninstall %1 driver?</source>
        <comment>ConfirmToUninstallDriver</comment>
        <translation>¿Confirma que desea desinstalar el driver %1?</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Confirm to disable %1 driver?</source>
        <comment>ConfirmToDisableDriver</comment>
        <translation>¿Confirma que desea desactivar el driver %1?</translation>
    </message>
    <message>
        <location line="+63"/>
        <source>Hint</source>
        <translation>Aviso</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location line="+10"/>
        <location line="+14"/>
        <source>No driver is detected:%1.Plz download.</source>
        <translation>No se ha detectado ningún driver de %1. Descárguelo, por favor.</translation>
    </message>
</context>
</TS>
