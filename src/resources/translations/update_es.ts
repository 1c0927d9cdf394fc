<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>GUI_Upgrade</name>
    <message>
        <location filename="../../update/GUI_Upgrade.cpp" line="+44"/>
        <source>Total</source>
        <translation>Total</translation>
    </message>
    <message>
        <location line="+0"/>
        <source>Downloaded</source>
        <translation>Descargado</translation>
    </message>
    <message>
        <location line="+18"/>
        <source>Please wait</source>
        <translation>Espere, por favor</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Ready to download the new program</source>
        <translation>Listo para descargar el nuevo programa</translation>
    </message>
    <message>
        <location line="+8"/>
        <source>Downloading a new version of the program</source>
        <translation>Descargando una nueva versión del programa</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>File download failure</source>
        <translation>Error al descargar el archivo</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>Preparing for installation</source>
        <translation>Preparando la instalación</translation>
    </message>
    <message>
        <location line="+45"/>
        <source>Extract zip file failed</source>
        <translation>No se pudo extraer el archivo zip</translation>
    </message>
    <message>
        <location line="+9"/>
        <source>Installing the new version; the program restarts when it is done</source>
        <translation>Instalando la nueva versión; el programa se reinicia al terminar</translation>
    </message>
</context>
<context>
    <name>HttpServer</name>
    <message>
        <location filename="../../update/HttpServer.cpp" line="+29"/>
        <location line="+34"/>
        <source>Server response failure</source>
        <translation>El servidor no respondió correctamente</translation>
    </message>
    <message>
        <location line="-1"/>
        <source>Unable to write to file</source>
        <translation>No se puede escribir el archivo</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>File verification failure</source>
        <translation>Error al verificar el archivo</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Download successful</source>
        <translation>Descarga completada</translation>
    </message>
</context>
<context>
    <name>ReleaseCheck</name>
    <message>
        <location filename="../../update/ReleaseManifest.cpp" line="+122"/>
        <source>The update package is damaged or not from the maker; nothing was installed.</source>
        <translation>El paquete de actualización está dañado o no es del fabricante; no se instaló nada.</translation>
    </message>
    <message>
        <location line="+6"/>
        <source>The update package is not signed; nothing was installed.</source>
        <translation>El paquete de actualización no está firmado; no se instaló nada.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>The update package&apos;s signature is not valid; nothing was installed.</source>
        <translation>La firma del paquete de actualización no es válida; no se instaló nada.</translation>
    </message>
</context>
<context>
    <name>ReleaseInstaller</name>
    <message>
        <location filename="../../update/ReleaseInstaller.cpp" line="+73"/>
        <source>Extract zip file failed</source>
        <translation>No se pudo extraer el archivo zip</translation>
    </message>
    <message>
        <location line="+15"/>
        <source>Copy upgrade file failed</source>
        <translation>No se pudo copiar el programa de actualización</translation>
    </message>
    <message>
        <location line="+21"/>
        <location line="+6"/>
        <location line="+8"/>
        <source>Start upgrade process failed</source>
        <translation>No se pudo iniciar la actualización</translation>
    </message>
    <message>
        <location line="-2"/>
        <source>The program folder %1 cannot be written. Run the update as a user who may change it.</source>
        <translation>No se puede escribir en la carpeta del programa %1. Ejecute la actualización con un usuario que pueda modificarla.</translation>
    </message>
    <message>
        <source>The release %1 is not newer than the installed version %2.</source>
        <translation>La versión %1 no es más reciente que la versión instalada %2.</translation>
    </message>
</context>
<context>
    <name>UpdatePage</name>
    <message>
        <source>Back to settings</source>
        <translation>Volver a ajustes</translation>
    </message>
    <message>
        <location filename="../../update/UpdatePage.cpp" line="+85"/>
        <source>Software update</source>
        <translation>Actualización del software</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Current version: %1</source>
        <translation>Versión actual: %1</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Update</source>
        <translation>Actualizar</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Looking for a newer version...</source>
        <translation>Buscando una versión más reciente...</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>New version available: %1</source>
        <translation>Nueva versión disponible: %1</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>You have the latest version.</source>
        <translation>Tiene la versión más reciente.</translation>
    </message>
    <message>
        <location line="+4"/>
        <source>The update server could not be reached. Try again later.</source>
        <translation>No se pudo contactar con el servidor de actualizaciones. Inténtelo más tarde.</translation>
    </message>
</context>
</TS>
