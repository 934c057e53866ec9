// Entry of the managed side: the launcher creates the "Entryway" domain over the unpacked product content,
// loads this assembly and calls RunApplicationInAssembly on its own (STA) UI thread.
using System;
using System.Globalization;
using System.IO;
using System.Reflection;
using System.Runtime.InteropServices;

namespace Corvane.UI.Standalone.Host
{
    /// <summary>
    /// Starts a product whose assembly lies in the application base folder.
    ///
    /// Product convention: the assembly "<c>productName</c>.dll" has a public type "<c>productName</c>.Program"
    /// with <c>public static int Run(string[] args)</c>. When that type or method is missing, the assembly's
    /// own entry point (a static Main) is used instead.
    /// </summary>
    public static class KestStandaloneApplicationHost
    {
        // Failure codes are negative (HRESULTs), so the launcher passes them on as its exit code.
        public const int ProductNameInvalid = unchecked((int)0x80070057);   // E_INVALIDARG
        public const int ProductAssemblyMissing = unchecked((int)0x80070002); // COR_E_FILENOTFOUND
        public const int ProductAssemblyInvalid = unchecked((int)0x8007000B); // COR_E_BADIMAGEFORMAT
        public const int ProductEntryMissing = unchecked((int)0x80131513);    // COR_E_MISSINGMETHOD

        public const string EntryTypeSuffix = ".Program";
        public const string EntryMethodName = "Run";

        const string FailureCaption = "Lumenix \u2013 Loading";

        /// <summary>
        /// Names a file for the start benchmark: the first managed entry of a start writes its time to it, as a
        /// UTC file time in decimal. A file that is already there was written by an earlier entry and stays.
        /// </summary>
        public const string EntryStampVariable = "LUMENIX_ENTRY_STAMP";

        /// <summary>
        /// Loads "<paramref name="productName"/>.dll" from the application base, closes the launcher's splash
        /// window (when <paramref name="splashWindow"/> is not 0) right before the product starts, runs the
        /// product and returns its exit code. A product that cannot be found is told on stderr (and in a box
        /// when started by the launcher) and answers one of the negative codes above. Exceptions thrown by the
        /// product itself pass through unchanged.
        /// </summary>
        public static int RunApplicationInAssembly(string productName, ulong splashWindow)
        {
            WriteEntryStamp(DateTime.UtcNow);
            string problem;
            int code;
            MethodInfo entry = FindEntry(productName, out problem, out code);
            if (entry == null)
            {
                ReportFailure(problem, splashWindow);
                CloseSplash(splashWindow);
                return code;
            }

            CloseSplash(splashWindow);
            return Invoke(entry, ProductArguments());
        }

        static void WriteEntryStamp(DateTime entered)
        {
            string path = Environment.GetEnvironmentVariable(EntryStampVariable);
            if (!string.IsNullOrEmpty(path) && !File.Exists(path))
                File.WriteAllText(path, entered.ToFileTimeUtc().ToString(CultureInfo.InvariantCulture));
        }

        // The entry method of the product, or null with the reason and the code to answer.
        static MethodInfo FindEntry(string productName, out string problem, out int code)
        {
            problem = null;
            code = 0;
            if (string.IsNullOrEmpty(productName) ||
                productName.IndexOfAny(Path.GetInvalidFileNameChars()) >= 0 ||
                productName.IndexOfAny(new[] { '/', '\\' }) >= 0)
            {
                problem = "The product name \u201C" + productName + "\u201D is not a valid assembly name.";
                code = ProductNameInvalid;
                return null;
            }

            string baseDir = AppDomain.CurrentDomain.BaseDirectory ?? string.Empty;
            string path = Path.Combine(baseDir, productName + ".dll");
            if (!File.Exists(path))
            {
                problem = "The product assembly \u201C" + path + "\u201D was not found.";
                code = ProductAssemblyMissing;
                return null;
            }

            Assembly assembly;
            try
            {
                assembly = Assembly.LoadFrom(path);
            }
            catch (BadImageFormatException e)
            {
                problem = "The product assembly \u201C" + path + "\u201D could not be loaded: " + e.Message;
                code = ProductAssemblyInvalid;
                return null;
            }
            catch (IOException e)
            {
                problem = "The product assembly \u201C" + path + "\u201D could not be loaded: " + e.Message;
                code = ProductAssemblyMissing;
                return null;
            }

            MethodInfo entry = FindRunMethod(assembly, productName + EntryTypeSuffix) ?? assembly.EntryPoint;
            if (entry == null)
            {
                problem = "The product assembly \u201C" + path + "\u201D has neither a public static int " +
                          productName + EntryTypeSuffix + "." + EntryMethodName + "(string[]) nor an entry point.";
                code = ProductEntryMissing;
            }
            return entry;
        }

        static MethodInfo FindRunMethod(Assembly assembly, string typeName)
        {
            Type type = assembly.GetType(typeName, false);
            if (type == null || !type.IsPublic)
                return null;
            MethodInfo method = type.GetMethod(EntryMethodName, BindingFlags.Public | BindingFlags.Static, null,
                                               new[] { typeof(string[]) }, null);
            if (method == null || method.ReturnType != typeof(int))
                return null;
            return method;
        }

        // Runs the entry through a delegate of its own shape, so that an exception of the product comes out as
        // itself rather than wrapped in a TargetInvocationException.
        static int Invoke(MethodInfo entry, string[] args)
        {
            bool takesArgs = entry.GetParameters().Length == 1;
            if (entry.ReturnType == typeof(int))
            {
                if (takesArgs)
                    return ((Func<string[], int>)Delegate.CreateDelegate(typeof(Func<string[], int>), entry))(args);
                return ((Func<int>)Delegate.CreateDelegate(typeof(Func<int>), entry))();
            }
            if (takesArgs)
                ((Action<string[]>)Delegate.CreateDelegate(typeof(Action<string[]>), entry))(args);
            else
                ((Action)Delegate.CreateDelegate(typeof(Action), entry))();
            return 0;
        }

        // The launcher takes no arguments of its own: whatever follows the executable goes to the product.
        static string[] ProductArguments()
        {
            string[] all = Environment.GetCommandLineArgs();
            if (all.Length <= 1)
                return new string[0];
            string[] rest = new string[all.Length - 1];
            Array.Copy(all, 1, rest, 0, rest.Length);
            return rest;
        }

        static void ReportFailure(string message, ulong splashWindow)
        {
            try
            {
                Console.Error.WriteLine(message);
            }
            catch (IOException)
            {
            }
            // Only a launcher start has a splash window, and with it a desktop to show a box on.
            if (splashWindow != 0)
                CallUser32(() => NativeMethods.MessageBoxW(LiveWindow(splashWindow), message, FailureCaption,
                                                           NativeMethods.MB_OK | NativeMethods.MB_ICONERROR));
        }

        // The call runs on the launcher's UI thread, which owns the window.
        static void CloseSplash(ulong splashWindow)
        {
            if (splashWindow == 0)
                return;
            CallUser32(() =>
            {
                IntPtr window = LiveWindow(splashWindow);
                if (window != IntPtr.Zero)
                    NativeMethods.DestroyWindow(window);
            });
        }

        static IntPtr LiveWindow(ulong handle)
        {
            IntPtr window = new IntPtr(unchecked((long)handle));
            return NativeMethods.IsWindow(window) ? window : IntPtr.Zero;
        }

        // user32 exists only on Windows; elsewhere there is no splash window to care about.
        static void CallUser32(Action call)
        {
            try
            {
                call();
            }
            catch (DllNotFoundException)
            {
            }
            catch (EntryPointNotFoundException)
            {
            }
        }

        static class NativeMethods
        {
            public const uint MB_OK = 0x0;
            public const uint MB_ICONERROR = 0x10;

            [DllImport("user32.dll", SetLastError = true)]
            [return: MarshalAs(UnmanagedType.Bool)]
            public static extern bool DestroyWindow(IntPtr hWnd);

            [DllImport("user32.dll")]
            [return: MarshalAs(UnmanagedType.Bool)]
            public static extern bool IsWindow(IntPtr hWnd);

            [DllImport("user32.dll", CharSet = CharSet.Unicode)]
            public static extern int MessageBoxW(IntPtr hWnd, string text, string caption, uint type);
        }
    }
}
