<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>Form</name>
    <message>
        <location filename="../../kit/Loading.ui" line="+73"/>
        <source>Executing...</source>
        <translation>Ejecutando...</translation>
    </message>
</context>
<context>
    <name>MessageYesNoClass</name>
    <message>
        <location filename="../../kit/MessageYesNo.ui" line="+115"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location line="+23"/>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
</context>
<context>
    <name>SafeUnpacker</name>
    <message>
        <location filename="../../kit/SafeUnpacker.cpp" line="+151"/>
        <source>The unpacking tool (7-Zip) was not found.</source>
        <translation>No se encontró la herramienta de descompresión (7-Zip).</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The file is not a zip or 7z archive, or it is damaged.</source>
        <translation>El archivo no es un archivo zip o 7z, o está dañado.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive is protected by a password.</source>
        <translation>El archivo está protegido con contraseña.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive holds an unsafe file name: %1</source>
        <translation>El archivo contiene un nombre de fichero no seguro: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive holds a link: %1</source>
        <translation>El archivo contiene un enlace: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive holds a device or other special file: %1</source>
        <translation>El archivo contiene un dispositivo u otro fichero especial: %1</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive would unpack to more than %1.</source>
        <translation>El archivo ocuparía más de %1 al descomprimirse.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The archive holds more than %1 files.</source>
        <translation>El archivo contiene más de %1 ficheros.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Unpacking took too long and was stopped.</source>
        <translation>La descompresión tardó demasiado y se detuvo.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Unpacking was cancelled.</source>
        <translation>Se canceló la descompresión.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>Could not write the folder %1.</source>
        <translation>No se pudo escribir la carpeta %1.</translation>
    </message>
    <message>
        <location line="+3"/>
        <source>The unpacked files do not match the archive&apos;s list: %1</source>
        <translation>Los ficheros descomprimidos no coinciden con la lista del archivo: %1</translation>
    </message>
</context>
<context>
    <name>MessageYesNo</name>
    <message>
        <source>Warning</source>
        <translation>Advertencia</translation>
    </message>
</context>
<context>
    <name>CarouselImageWindow</name>
    <message>
        <source>Picture %1 of %2</source>
        <translation>Imagen %1 de %2</translation>
    </message>
    <message>
        <source>Shows this picture</source>
        <translation>Muestra esta imagen</translation>
    </message>
</context>
<context>
    <name>HttpUtils</name>
    <message>
        <location filename="../../kit/HttpUtils.cpp" line="+496"/>
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
