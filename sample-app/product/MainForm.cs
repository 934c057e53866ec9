using System.Drawing;
using System.Windows.Forms;

namespace Lumenix
{
    sealed class MainForm : Form
    {
        public MainForm()
        {
            Text = "Lumenix";
            StartPosition = FormStartPosition.CenterScreen;
            ClientSize = new Size(480, 200);
            Font = SystemFonts.MessageBoxFont;

            var label = new Label
            {
                Text = Program.Text("Greeting"),
                Dock = DockStyle.Fill,
                TextAlign = ContentAlignment.MiddleCenter,
            };
            Controls.Add(label);
        }
    }
}
