// The sample product: a small Windows Forms window, or a quiet run for tests.
using System;
using System.Globalization;
using System.Runtime.CompilerServices;
using System.Windows.Forms;

namespace Lumenix
{
    /// <summary>The entry that the standalone host looks for: public static int Lumenix.Program.Run(string[]).</summary>
    public static class Program
    {
        /// <summary>Exit code of a headless run unless LUMENIX_EXIT_CODE names another.</summary>
        public const int HeadlessExitCode = 42;

        public const string HeadlessVariable = "LUMENIX_HEADLESS";
        public const string ExitCodeVariable = "LUMENIX_EXIT_CODE";
        public const string HeadlessArgument = "--headless";

        public static int Run(string[] args)
        {
            if (IsHeadless(args))
            {
                Console.WriteLine("Lumenix by Corvane: headless run");
                return ExitCode(HeadlessExitCode);
            }
            return ExitCode(ShowMainWindow());
        }

        static bool IsHeadless(string[] args)
        {
            string value = Environment.GetEnvironmentVariable(HeadlessVariable);
            if (!string.IsNullOrEmpty(value) && value != "0")
                return true;
            foreach (string arg in args ?? new string[0])
            {
                if (string.Equals(arg, HeadlessArgument, StringComparison.OrdinalIgnoreCase))
                    return true;
            }
            return false;
        }

        // LUMENIX_EXIT_CODE overrides the result, so that a test can follow a value through the launcher.
        static int ExitCode(int normal)
        {
            string value = Environment.GetEnvironmentVariable(ExitCodeVariable);
            int code;
            if (!string.IsNullOrEmpty(value) &&
                int.TryParse(value, NumberStyles.Integer, CultureInfo.InvariantCulture, out code))
                return code;
            return normal;
        }

        // Kept apart so that a headless run never touches Windows Forms.
        [MethodImpl(MethodImplOptions.NoInlining)]
        static int ShowMainWindow()
        {
            Application.EnableVisualStyles();
            Application.SetCompatibleTextRenderingDefault(false);
            using (var form = new MainForm())
                Application.Run(form);
            return 0;
        }
    }
}
