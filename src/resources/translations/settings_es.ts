<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>SettingsView</name>
    <message>
        <source>SoftwareSettings</source>
        <translation>Configuración del software</translation>
    </message>
    <message>
        <source>Account</source>
        <translation>Cuenta</translation>
    </message>
    <message>
        <source>Settings</source>
        <translation>Configuración</translation>
    </message>
    <message>
        <source>LogInRegister</source>
        <translation>Iniciar sesión / Registrarse</translation>
    </message>
    <message>
        <source>LogInRegisterTip</source>
        <translation>Inicie sesión en su cuenta para una mejor experiencia</translation>
    </message>
    <message>
        <source>LoggedIn</source>
        <translation>Sesión iniciada</translation>
    </message>
    <message>
        <source>SystemLog</source>
        <translation>Registro del sistema</translation>
    </message>
    <message>
        <source>SystemLogTip</source>
        <translation>Active los registros del sistema para ayudar a los desarrolladores a analizar y resolver problemas rápidamente</translation>
    </message>
    <message>
        <source>AutoStart</source>
        <translation>Inicio automático</translation>
    </message>
    <message>
        <source>AutoStartTip</source>
        <translation>El programa se iniciará automáticamente al encender el equipo</translation>
    </message>
    <message>
        <source>CheckUpdate</source>
        <translation>Buscar actualizaciones</translation>
    </message>
    <message>
        <source>CheckUpdateTip</source>
        <translation>Detectar y actualizar automáticamente la versión del programa de gestión</translation>
    </message>
    <message>
        <source>NewVersion</source>
        <translation>Nuevo</translation>
    </message>
    <message>
        <source>SwitchLanguage</source>
        <translation>Cambiar idioma</translation>
    </message>
    <message>
        <source>SwitchLanguageTip</source>
        <translation>Cambiar el idioma de la herramienta de gestión</translation>
    </message>
    <message>
        <source>EnetSimulate</source>
        <translation>Emulación ENET</translation>
    </message>
    <message>
        <source>EnetSimulateTip</source>
        <translation>Active esta función para diagnosticar vehículos específicos cuando sea necesario</translation>
    </message>
    <message>
        <source>SupportFile</source>
        <translation>Guardar archivo de soporte</translation>
    </message>
    <message>
        <source>SupportFileTip</source>
        <translation>Guarde los registros y el estado del adaptador en un archivo para el equipo de soporte (sin contraseñas ni códigos)</translation>
    </message>
    <message>
        <source>%1... %2%</source>
        <comment>SupportFileProgress</comment>
        <translation>%1... %2%</translation>
    </message>
    <message>
        <source>Hint</source>
        <translation>Aviso</translation>
    </message>
    <message>
        <source>LanguageChangedHint</source>
        <translation>Cambiar el idioma requiere reiniciar la aplicación; pulse Confirmar para reiniciarla ahora</translation>
    </message>
    <message>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
</context>
<context>
    <name>SettingsController</name>
    <message>
        <source>Save support file</source>
        <translation>Guardar archivo de soporte</translation>
    </message>
    <message>
        <source>Zip archive (*.zip)</source>
        <translation>Archivo zip (*.zip)</translation>
    </message>
    <message>
        <source>Starting</source>
        <translation>Iniciando</translation>
    </message>
    <message>
        <source>The support file was saved as %1.</source>
        <translation>El archivo de soporte se guardó como %1.</translation>
    </message>
    <message>
        <source>The support file could not be started.</source>
        <translation>No se pudo empezar a crear el archivo de soporte.</translation>
    </message>
</context>
<context>
    <name>SupportBundle</name>
    <message>
        <source>No file was chosen.</source>
        <translation>No se eligió ningún archivo.</translation>
    </message>
    <message>
        <source>The archive tool 7-Zip (7za) was not found, so no support file can be written.</source>
        <translation>No se encontró el compresor 7-Zip (7za); no se puede crear el archivo de soporte.</translation>
    </message>
    <message>
        <source>The folder %1 does not exist.</source>
        <translation>La carpeta %1 no existe.</translation>
    </message>
    <message>
        <source>No temporary folder could be made for the support file.</source>
        <translation>No se pudo crear una carpeta temporal para el archivo de soporte.</translation>
    </message>
    <message>
        <source>Collecting the system report</source>
        <translation>Recopilando el informe del sistema</translation>
    </message>
    <message>
        <source>The support file could not be put together (no space left?).</source>
        <translation>No se pudo preparar el archivo de soporte (¿falta espacio en disco?).</translation>
    </message>
    <message>
        <source>Reading the adapter status</source>
        <translation>Leyendo el estado del adaptador</translation>
    </message>
    <message>
        <source>Cancelled.</source>
        <translation>Cancelado.</translation>
    </message>
    <message>
        <source>Adding log files</source>
        <translation>Añadiendo los registros</translation>
    </message>
    <message>
        <source>Writing the archive</source>
        <translation>Escribiendo el archivo</translation>
    </message>
    <message>
        <source>7-Zip did not finish the archive in time.</source>
        <translation>7-Zip no terminó el archivo a tiempo.</translation>
    </message>
    <message>
        <source>7-Zip could not write the archive (%1, code %2).</source>
        <translation>7-Zip no pudo escribir el archivo (%1, código %2).</translation>
    </message>
    <message>
        <source>Moving the archive into place</source>
        <translation>Guardando el archivo</translation>
    </message>
    <message>
        <source>%1 exists and cannot be replaced.</source>
        <translation>%1 ya existe y no se puede reemplazar.</translation>
    </message>
    <message>
        <source>The archive could not be saved as %1.</source>
        <translation>No se pudo guardar el archivo como %1.</translation>
    </message>
    <message>
        <source>Done</source>
        <translation>Hecho</translation>
    </message>
</context>
</TS>
