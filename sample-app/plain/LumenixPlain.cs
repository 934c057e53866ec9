// The product as a vendor ships it without the launcher: a plain managed exe beside the product's assemblies.
// Windows hands it to the hosting library's _CorExeMain, which starts the runtime and calls Main; Main starts
// the product the way the launcher's host type does, without a splash window.
using System;
using System.Globalization;
using System.IO;
using System.Runtime.CompilerServices;
using Corvane.UI.Standalone.Host;

[assembly: System.Reflection.AssemblyTitle("LumenixPlain")]
[assembly: System.Reflection.AssemblyVersion("1.1.1.511")]

namespace Lumenix.Plain
{
    static class PlainProgram
    {
        [STAThread]
        static int Main()
        {
            // Noted before anything of the product is loaded: RunProduct is compiled only when it is called.
            WriteEntryStamp(DateTime.UtcNow);
            return RunProduct();
        }

        // The start benchmark's entry time (the host type's variable, spelled out: its assembly is not loaded yet).
        static void WriteEntryStamp(DateTime entered)
        {
            string path = Environment.GetEnvironmentVariable("LUMENIX_ENTRY_STAMP");
            if (!string.IsNullOrEmpty(path) && !File.Exists(path))
                File.WriteAllText(path, entered.ToFileTimeUtc().ToString(CultureInfo.InvariantCulture));
        }

        [MethodImpl(MethodImplOptions.NoInlining)]
        static int RunProduct()
        {
            return KestStandaloneApplicationHost.RunApplicationInAssembly("Lumenix", 0);
        }
    }
}
