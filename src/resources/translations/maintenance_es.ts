<?xml version="1.0" encoding="utf-8"?>
<!DOCTYPE TS>
<TS version="2.1" language="es_ES">
<context>
    <name>CWifiPasswordInput</name>
    <message>
        <location filename="../../maintenance/CWifiPasswordInput.cpp" line="+17"/>
        <location line="+5"/>
        <source>Please enter the router password</source>
        <translation>Introduzca la contraseña del router</translation>
    </message>
    <message>
        <location line="+17"/>
        <source>Cancel</source>
        <translation>Cancelar</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>Confirm</source>
        <translation>Confirmar</translation>
    </message>
    <message>
        <source>Router password</source>
        <translation>Contraseña del router</translation>
    </message>
</context>
<context>
    <name>FirmwareController</name>
    <message>
        <location filename="../../maintenance/FirmwareController.cpp" line="+166"/>
        <source>Please connect OBD power</source>
        <translation>Conecte la alimentación OBD</translation>
    </message>
</context>
<context>
    <name>FirmwarePage</name>
    <message>
        <location filename="../../maintenance/FirmwarePage.cpp" line="+105"/>
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
        <location line="+48"/>
        <source>Current version: </source>
        <translation>Versión actual: </translation>
    </message>
    <message>
        <location line="-61"/>
        <location line="+15"/>
        <source>Latest version: </source>
        <translation>Última versión: </translation>
    </message>
    <message>
        <location line="-14"/>
        <location line="+15"/>
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
<context>
    <name>RouterController</name>
    <message>
        <location filename="../../maintenance/RouterController.cpp" line="+153"/>
        <source>Connect the adapter by USB or cable to scan.</source>
        <translation>Conecte el adaptador por USB o cable para buscar.</translation>
    </message>
    <message>
        <location line="+113"/>
        <source>Resetting, please wait...</source>
        <translation>Restableciendo, espere por favor...</translation>
    </message>
</context>
<context>
    <name>RouterItem</name>
    <message>
        <location filename="../../maintenance/RouterItem.cpp" line="+54"/>
        <source>Connect</source>
        <translation>Conectar</translation>
    </message>
</context>
<context>
    <name>RouterPage</name>
    <message>
        <location filename="../../maintenance/RouterPage.cpp" line="+110"/>
        <source>Router connection</source>
        <translation>Conexión al router</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Refresh</source>
        <translation>Actualizar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Current router:</source>
        <translation>Router actual:</translation>
    </message>
    <message>
        <location line="+44"/>
        <source>Working with the adapter, please wait...</source>
        <translation>Trabajando con el adaptador, espere por favor...</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>No access points. Press Refresh to scan.</source>
        <translation>No hay puntos de acceso. Pulse Actualizar para buscarlos.</translation>
    </message>
    <message>
        <location line="-43"/>
        <source>Adapter Wi-Fi</source>
        <translation>Wi-Fi del adaptador</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Wi-Fi name:</source>
        <translation>Nombre de la Wi-Fi:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Password:</source>
        <translation>Contraseña:</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Back</source>
        <translation>Volver</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Modify</source>
        <translation>Modificar</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Reset</source>
        <translation>Restablecer</translation>
    </message>
    <message>
        <location line="+1"/>
        <source>Save</source>
        <translation>Guardar</translation>
    </message>
</context>
<context>
    <name>RouterSetup</name>
    <message>
        <location filename="../../maintenance/RouterController.cpp" line="-118"/>
        <location filename="../../maintenance/RouterSetup.cpp" line="+49"/>
        <source>No adapter is connected.</source>
        <translation>No hay ningún adaptador conectado.</translation>
    </message>
    <message>
        <location line="+16"/>
        <source>Execution failed</source>
        <translation>Error de ejecución</translation>
    </message>
    <message>
        <location line="+88"/>
        <location filename="../../maintenance/RouterSetup.cpp" line="+67"/>
        <source>Executing, please wait...</source>
        <translation>Ejecutando, espere por favor...</translation>
    </message>
    <message>
        <location filename="../../maintenance/RouterSetup.cpp" line="-53"/>
        <source>The adapter does not answer.</source>
        <translation>El adaptador no responde.</translation>
    </message>
    <message>
        <location line="+81"/>
        <source>Could not join %1. Check the password.</source>
        <translation>No se pudo conectar a %1. Revise la contraseña.</translation>
    </message>
    <message>
        <location line="+11"/>
        <source>Joined %1</source>
        <translation>Conectado a %1</translation>
    </message>
    <message>
        <location line="+13"/>
        <source>The adapter refused the reset.</source>
        <translation>El adaptador rechazó el restablecimiento.</translation>
    </message>
    <message>
        <location line="+21"/>
        <source>The adapter refused the new Wi-Fi settings.</source>
        <translation>El adaptador rechazó la nueva configuración Wi-Fi.</translation>
    </message>
    <message>
        <location line="+54"/>
        <source>The name or password is empty</source>
        <translation>El nombre o la contraseña están vacíos</translation>
    </message>
    <message>
        <location line="+2"/>
        <source>The password contains less than 8 characters</source>
        <translation>La contraseña tiene menos de 8 caracteres</translation>
    </message>
</context>
</TS>
